#pragma once
// key=value configuration file in memory. Comments, blank lines and unknown
// keys survive a rewrite; writes are atomic (temporary file, then rename).
#include <string>
#include <vector>

class PropertyMap {
public:
    bool ReadFromFile(const std::string& path);
    // "" writes to the file last read (also when that read failed).
    bool WriteToFile(const std::string& path);

    std::string GetStringValue(const std::string& key, const std::string& defaultValue) const;
    int GetIntValue(const std::string& key, int defaultValue) const;
    void SetValue(const std::string& key, const std::string& text);
    void SetIntValue(const std::string& key, int value);
    bool IsDirty() const { return m_dirty; }

private:
    struct Line {
        std::string key;   // empty for comments, blank and junk lines
        std::string text;  // the value, or the whole line when key is empty
    };
    const Line* Find(const std::string& key) const;

    std::vector<Line> m_lines;
    std::string m_path;
    bool m_dirty = false;
};
