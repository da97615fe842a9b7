#include "util/property_map.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "util/conversions.h"
#include "util/file_descriptor.h"
#include "util/logger.h"

namespace {

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Makes the rename itself survive a power cut; a failure here loses nothing.
void SyncFolder(const std::string& folder) {
    FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.IsOpen()) ::fsync(dir.Get());
}

bool ReadAll(const std::string& path, std::string& data) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.IsOpen()) return false;
    char buffer[4096];
    for (;;) {
        ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        data.append(buffer, static_cast<size_t>(n));
    }
}

bool Fail(const char* what, const std::string& path, int error) {
    Logger::Log(Logger::Error, "PropertyMap::WriteToFile: %s %s: %s", what, path.c_str(),
                strerror(error));
    return false;
}

// Temporary file beside the target, synced, then renamed over it: a power cut
// leaves either the old or the new file, never half of one.
bool WriteAtomically(const std::string& path, const std::string& content) {
    // A configuration file reached through a symbolic link is replaced where it lives.
    char resolved[PATH_MAX];
    const std::string target = ::realpath(path.c_str(), resolved) ? resolved : path;
    // A file the program may not write stays as it is, even where the folder would allow a rename.
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && ::access(target.c_str(), W_OK) != 0) return Fail("cannot write", target, errno);
    std::string temp = target + ".XXXXXX";
    FileDescriptor fd(::mkstemp(&temp[0]));
    if (!fd.IsOpen()) return Fail("cannot create", temp, errno);
    auto abandon = [&](const char* what) {
        const int error = errno;
        ::unlink(temp.c_str());
        return Fail(what, target, error);
    };
    // The replacement keeps the owner, group and mode of the old file: the web
    // server's CGI edits it too. A new file belongs to the program's user, rw-r--r--.
    if (exists && ::fchown(fd.Get(), old.st_uid, old.st_gid) != 0) {
        return abandon("cannot keep the owner of");
    }
    ::fchmod(fd.Get(), exists ? (old.st_mode & 07777) : 0644);
    bool ok = WriteAll(fd.Get(), content) && ::fsync(fd.Get()) == 0 && fd.Reset() &&
              ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) return abandon("cannot write");
    SyncFolder(FolderOf(target));
    return true;
}

// Values and keys are single-line texts: a line break would forge further keys.
std::string OneLine(const std::string& text) {
    std::string line = text;
    for (char& c : line) {
        if (c == '\n' || c == '\r') c = ' ';
    }
    return TrimBlanks(line);
}

}  // namespace

bool PropertyMap::ReadFromFile(const std::string& path) {
    m_path = path;
    m_lines.clear();
    m_dirty = false;
    std::string data;
    if (!ReadAll(path, data)) return false;
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\n', start);
        if (end == std::string::npos) end = data.size();
        std::string raw = data.substr(start, end - start);
        start = end + 1;
        std::string trimmed = TrimBlanks(raw);
        size_t equals = trimmed.find('=');
        std::string key = equals == std::string::npos ? "" : TrimBlanks(trimmed.substr(0, equals));
        if (trimmed.empty() || trimmed[0] == '#' || key.empty()) {
            m_lines.push_back({"", raw});  // comment, blank or junk: kept as it stands
        } else {
            m_lines.push_back({key, TrimBlanks(trimmed.substr(equals + 1))});
        }
    }
    return true;
}

bool PropertyMap::WriteToFile(const std::string& path) {
    const std::string& target = path.empty() ? m_path : path;
    if (target.empty()) {
        Logger::Log(Logger::Error, "PropertyMap::WriteToFile: no file name");
        return false;
    }
    std::string content;
    for (const Line& line : m_lines) {
        content += line.key.empty() ? line.text : line.key + "=" + line.text;
        content += '\n';
    }
    if (!WriteAtomically(target, content)) return false;
    m_dirty = false;
    return true;
}

std::string PropertyMap::GetStringValue(const std::string& key,
                                        const std::string& defaultValue) const {
    const Line* line = Find(key);
    return line != nullptr ? line->text : defaultValue;
}

int PropertyMap::GetIntValue(const std::string& key, int defaultValue) const {
    const Line* line = Find(key);
    if (line == nullptr) return defaultValue;
    const char* start = line->text.c_str();
    char* end = nullptr;
    std::strtol(start, &end, 10);
    return end == start ? defaultValue : StrToInt(line->text);  // no number: the default
}

void PropertyMap::SetValue(const std::string& key, const std::string& text) {
    std::string name = OneLine(key);
    std::string value = OneLine(text);
    if (name.empty() || name[0] == '#' || name.find('=') != std::string::npos) {
        Logger::Log(Logger::Error, "PropertyMap::SetValue: invalid key '%s'", key.c_str());
        return;
    }
    bool found = false;
    for (Line& line : m_lines) {
        if (line.key != name) continue;
        found = true;
        if (line.text != value) {
            line.text = value;
            m_dirty = true;
        }
    }
    if (!found) {
        m_lines.push_back({name, value});
        m_dirty = true;
    }
}

void PropertyMap::SetIntValue(const std::string& key, int value) {
    SetValue(key, IntToStr(value));
}

// The last line of a key wins, as when the file is read top to bottom.
const PropertyMap::Line* PropertyMap::Find(const std::string& key) const {
    for (auto it = m_lines.rbegin(); it != m_lines.rend(); ++it) {
        if (it->key == key) return &*it;
    }
    return nullptr;
}
