#include "ui/CRecentFileList.h"

#include <algorithm>

#include "core/CSettings.h"

namespace {

constexpr const char* kSection = "Recent File List";

std::string EntryKey(int index) {
    return "File" + std::to_string(index + 1);
}

} // namespace

void CRecentFileList::Load(const CSettings& settings) {
    m_paths.clear();
    for (int i = 0; i < m_nSize; ++i) {
        const std::string path = settings.ReadString(kSection, EntryKey(i), "");
        // A hand-edited store may skip numbers or repeat a path.
        if (!path.empty() && std::find(m_paths.begin(), m_paths.end(), path) == m_paths.end())
            m_paths.push_back(path);
    }
}

void CRecentFileList::Save(CSettings& settings) const {
    for (int i = 0; i < m_nSize; ++i)
        settings.WriteString(kSection, EntryKey(i), i < GetSize() ? GetAt(i) : std::string());
}

void CRecentFileList::Add(const std::string& path) {
    if (path.empty())
        return;
    Remove(path);
    m_paths.insert(m_paths.begin(), path);
    if (GetSize() > m_nSize)
        m_paths.resize(static_cast<size_t>(m_nSize));
}

void CRecentFileList::Remove(const std::string& path) {
    std::erase(m_paths, path);
}
