# Tests run the built programs by path (exec, popen). In a cross build those are
# target binaries the host cannot exec, so the tests get a small script instead
# that starts the program under CMAKE_CROSSCOMPILING_EMULATOR; exec keeps the pid,
# and the emulator passes signals and the exit status through.
#   nivo_program_path(VAR TARGET) sets VAR to the path the tests should run.
function(nivo_program_path var target)
    if(NOT CMAKE_CROSSCOMPILING OR NOT CMAKE_CROSSCOMPILING_EMULATOR)
        set(${var} "$<TARGET_FILE:${target}>" PARENT_SCOPE)
        return()
    endif()
    list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " emulator)
    set(script ${CMAKE_BINARY_DIR}/emulated/${target})
    file(GENERATE OUTPUT ${script}
         CONTENT "#!/bin/sh\nexec ${emulator} '$<TARGET_FILE:${target}>' \"$@\"\n"
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                          WORLD_READ WORLD_EXECUTE)
    set(${var} ${script} PARENT_SCOPE)
endfunction()
