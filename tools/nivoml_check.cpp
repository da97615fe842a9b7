// nivoml-check: shows how the panel would draw a NIVOML page.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "tools/page_check.h"
#include "util/file_descriptor.h"
#include "util/logger.h"

namespace {
class SilentLogger : public Logger {
protected:
    void Write(LogLevel, const std::string&) override {}
};

// Reads the page into text, one byte past what the unit would take (so /dev/zero
// ends too); on failure returns why.
std::string ReadPage(const std::string& path, std::string& text) {
    FileDescriptor owned;
    int fd = STDIN_FILENO;
    if (path != "-") {
        owned = FileDescriptor(open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (!owned.IsOpen()) return std::strerror(errno);
        fd = owned.Get();
    }
    struct stat info {};
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) return "it is a directory";
    char buffer[65536];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::strerror(errno);
        if (n == 0) return "";
        text.append(buffer, static_cast<size_t>(n));
        if (text.size() > kPageCheckMaxPage) {
            text.resize(kPageCheckMaxPage + 1);
            return "";
        }
    }
}

// The register file to draw on: NIVO_LCD_DEVICE, or a temporary file (in TMPDIR) removed
// at exit.
class DeviceFile {
public:
    DeviceFile() {
        const char* env = std::getenv("NIVO_LCD_DEVICE");
        if (env && *env) {  // set but empty means unset, as for the program
            m_path = env;
            return;
        }
        const char* folder = std::getenv("TMPDIR");
        std::string name =
            std::string(folder && *folder ? folder : "/tmp") + "/nivoml-check-XXXXXX";
        int fd = mkstemp(name.data());
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
    if (options.help || options.version) {
        std::cout << (options.help ? kPageCheckUsage : kPageCheckVersion)
                  << (options.help ? "" : "\n");
        return 0;
    }
    // The program's own log only when asked for: findings say it in English.
    ConsoleLogger console;
    SilentLogger silent;
    console.SetLevel(static_cast<Logger::LogLevel>(std::max(options.level, 0)));
    ScopedLogger installed(options.level < 0 ? static_cast<Logger*>(&silent) : &console);

    DeviceFile device;
    if (device.Path().empty()) {
        std::cerr << "nivoml-check: cannot create a temporary register file\n";
        return 2;
    }
    int status = 0;
    for (const std::string& path : options.pagePaths) {
        if (options.pagePaths.size() > 1 && !options.lint) std::cout << "==> " << path << " <==\n";
        std::string page;
        const std::string failure = ReadPage(path, page);
        if (!failure.empty()) {
            std::cout.flush();
            std::cerr << "nivoml-check: cannot read " << path << ": " << failure << "\n";
            status = 2;
            continue;
        }
        const int result =
            RunPageCheck(options, path == "-" ? "<stdin>" : path, page, device.Path(), std::cout);
        status = std::max(status, result);
    }
    return status;
}
