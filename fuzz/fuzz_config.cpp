// Reads arbitrary bytes as the configuration file, changes it as the settings
// code does, writes it back and checks that the rewrite keeps what was set.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "util/property_map.h"

namespace {
const std::string& ConfigPath() {
    static const std::string path = [] {
        char name[] = "/tmp/fuzz_config_XXXXXX";
        int fd = mkstemp(name);
        if (fd < 0) abort();
        close(fd);
        return std::string(name);
    }();
    return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string& path = ConfigPath();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    PropertyMap map;
    map.ReadFromFile(path);
    for (const char* key : {"BACKLIGHT", "CONTRAST", "BRIGHTNESS", "TIMEFORMAT", "DATEFORMAT"}) {
        map.GetIntValue(key, -1);
        map.GetStringValue(key, "");
    }
    const std::string before = map.GetStringValue("DATEFORMAT", "%d%m%y");
    map.SetIntValue("CONTRAST", 7);
    map.SetValue("TIMEFORMAT", "%H%M");
    if (!map.WriteToFile("")) abort();

    PropertyMap reread;
    if (!reread.ReadFromFile(path)) abort();
    if (reread.GetIntValue("CONTRAST", -1) != 7) abort();
    if (reread.GetStringValue("TIMEFORMAT", "") != "%H%M") abort();
    if (reread.GetStringValue("DATEFORMAT", "%d%m%y") != before) abort();
    return 0;
}
