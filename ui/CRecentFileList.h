#pragma once

#include <string>
#include <vector>

class CSettings;

// The File menu's most recently used documents, newest first, kept in the
// settings store's "Recent File List" section as "File1" to "FileN".
class CRecentFileList {
public:
    explicit CRecentFileList(int size = 4) : m_nSize(size) {}

    void Load(const CSettings& settings);
    void Save(CSettings& settings) const;

    // Moves the path to the front, dropping the oldest entry when full.
    void Add(const std::string& path);
    void Remove(const std::string& path);

    int GetSize() const { return static_cast<int>(m_paths.size()); }
    const std::string& GetAt(int index) const { return m_paths.at(static_cast<size_t>(index)); }
    int Capacity() const { return m_nSize; }

private:
    int m_nSize;
    std::vector<std::string> m_paths;
};
