#pragma once
// One running NIVO_Manager per fuzzing process: LCD register file, key FIFO and
// configuration in a private folder, its own UDP port, and a home page on port 1
// of 127.0.0.1, where a connect is refused at once. The pauses of the request
// cycle are skipped. Built on first use and never destroyed: the timer queue it
// arms may already be gone when static objects die.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "manager/nivo_manager.h"
#include "util/file_descriptor.h"
#include "util/logger.h"

namespace fuzz_world {

// Every URL the fuzz pages name lives here.
inline const char* const kRefusedBase = "http://127.0.0.1:1/";

// Formats every message, so the logging paths run with the fuzzed texts, and drops it.
class SilentLogger : public Logger {
public:
    SilentLogger() { SetLevel(All); }

protected:
    void Write(LogLevel, const std::string&) override {}
};

inline void NoPause(unsigned) {}

// A UDP port on 127.0.0.1 that nobody holds right now.
inline int FreeUdpPort() {
    FileDescriptor socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (!socket.IsOpen() ||
        ::bind(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(socket.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::abort();
    }
    return ntohs(address.sin_port);
}

inline std::string& Folder() {
    static std::string folder;
    return folder;
}

inline void RemoveFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(Folder(), ignored);
}

inline NIVO_Manager& Manager() {
    static NIVO_Manager* const manager = [] {
        char name[] = "/tmp/nivo_fuzz_mgr_XXXXXX";
        if (mkdtemp(name) == nullptr) std::abort();
        Folder() = name;
        std::atexit(RemoveFolder);
        const std::string lcd = Folder() + "/lcd";
        const std::string keys = Folder() + "/keys";
        if (!FileDescriptor(::open(lcd.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600)).IsOpen() ||
            ::mkfifo(keys.c_str(), 0600) != 0) {
            std::abort();
        }
        setenv("NIVO_LCD_DEVICE", lcd.c_str(), 1);
        setenv("NIVO_KEYS_DEVICE", keys.c_str(), 1);
        setenv("NIVO_LCD_CONFIG", (Folder() + "/nivo_lcd.conf").c_str(), 1);
        setenv("NIVO_UDP_PORT", std::to_string(FreeUdpPort()).c_str(), 1);
        // NIVO_FUZZ_LOG=1 shows the program's log when a finding is replayed.
        if (const char* log = std::getenv("NIVO_FUZZ_LOG"); log != nullptr && *log == '1') {
            Logger::s_logger = new ConsoleLogger;
            Logger::s_logger->SetLevel(Logger::All);
        } else {
            Logger::s_logger = new SilentLogger;
        }
        NIVO_Manager::s_sleep = NoPause;
        auto* created = new NIVO_Manager(kRefusedBase);
        if (!created->Init()) std::abort();
        return created;
    }();
    return *manager;
}

}  // namespace fuzz_world
