// nivoml-check: shows how the panel would draw a NIVOML page.
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "tools/page_check.h"
#include "util/logger.h"

namespace {
bool ReadPage(const std::string& path, std::string& text) {
    if (path == "-") {
        text.assign(std::istreambuf_iterator<char>(std::cin), {});
        return true;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    text.assign(std::istreambuf_iterator<char>(file), {});
    return true;
}

// The register file to draw on: NIVO_LCD_DEVICE, or a temporary file removed at exit.
class DeviceFile {
public:
    DeviceFile() {
        if (const char* env = std::getenv("NIVO_LCD_DEVICE")) {
            m_path = env;
            return;
        }
        char name[] = "/tmp/nivoml-check-XXXXXX";
        int fd = mkstemp(name);
        if (fd >= 0) {
            close(fd);
            m_path = name;
            m_temporary = true;
        }
    }
    ~DeviceFile() {
        if (m_temporary) unlink(m_path.c_str());
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
    bool m_temporary = false;
};
}  // namespace

int main(int argc, char** argv) {
    PageCheckOptions options;
    if (!ParsePageCheckArgs(std::vector<std::string>(argv + 1, argv + argc), options, std::cerr)) {
        return 2;
    }
    ConsoleLogger logger;
    logger.SetLevel(static_cast<Logger::LogLevel>(options.level));
    ScopedLogger installed(&logger);

    std::string page;
    if (!ReadPage(options.pagePath, page)) {
        std::cerr << "nivoml-check: cannot read " << options.pagePath << "\n";
        return 2;
    }
    DeviceFile device;
    if (device.Path().empty()) {
        std::cerr << "nivoml-check: cannot create a temporary register file\n";
        return 2;
    }
    return RunPageCheck(options, page, device.Path(), std::cout);
}
