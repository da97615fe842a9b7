#pragma once
// A private folder under /tmp for one test, removed with everything in it.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class TempDir {
public:
    TempDir() {
        char name[] = "/tmp/nivo_util_XXXXXX";
        if (mkdtemp(name) == nullptr) std::abort();  // never fall back to writing under /
        m_path = name;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    std::string Path(const std::string& name) const { return m_path + "/" + name; }
    const std::string& Path() const { return m_path; }
    // Writes a file; mode 0755 makes it a runnable script.
    std::string Write(const std::string& name, const std::string& content,
                      mode_t mode = 0644) const {
        std::string path = Path(name);
        std::ofstream(path, std::ios::binary) << content;
        chmod(path.c_str(), mode);
        return path;
    }

private:
    std::string m_path;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
