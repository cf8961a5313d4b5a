#include "core/CVersionInfo.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

#include "VersionData.h"
#include "core/TextCompare.h"

namespace {

constexpr size_t kMaxFileName = 259;
constexpr const char* kTranslationPath = "\\VarFileInfo\\Translation";

std::vector<std::pair<std::string, std::string>> OwnVersionData() {
    std::vector<std::pair<std::string, std::string>> data;
    const char translation[4] = {
        static_cast<char>(version_data::kLanguage & 0xFF),
        static_cast<char>(version_data::kLanguage >> 8),
        static_cast<char>(version_data::kCodePage & 0xFF),
        static_cast<char>(version_data::kCodePage >> 8),
    };
    data.emplace_back(kTranslationPath, std::string(translation, sizeof translation));
    const std::string table = std::string("\\StringFileInfo\\") + version_data::kStringTable + "\\";
    for (const version_data::Entry& entry : version_data::kStrings)
        data.emplace_back(table + entry.key, entry.value);
    return data;
}

bool IsOwnFile(const std::string& fileName) {
    if (!QCoreApplication::instance())
        return false;
    const QString own = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
    const QString named = QFileInfo(QString::fromLocal8Bit(fileName.c_str())).canonicalFilePath();
    return !named.isEmpty() && named == own;
}

} // namespace

bool CVersionInfo::Open(const std::string& fileName) {
    m_bOpened = false;
    m_data.clear();
    if (!fileName.empty() && !IsOwnFile(fileName.substr(0, kMaxFileName)))
        return false;
    m_data = OwnVersionData();
    const std::string* translation = QueryValue(kTranslationPath);
    if (!translation || translation->size() < 4)
        return false;
    const auto byte = [&](size_t i) { return static_cast<uint8_t>((*translation)[i]); };
    m_wLanguage = static_cast<uint16_t>(byte(0) | byte(1) << 8);
    m_wCodePage = static_cast<uint16_t>(byte(2) | byte(3) << 8);
    char text[9];
    std::snprintf(text, sizeof text, "%04X%04X", m_wLanguage, m_wCodePage);
    m_strTranslation = text;
    m_bOpened = true;
    return m_bOpened;
}

std::string CVersionInfo::GetString(const std::string& key) {
    if (!m_bOpened)
        return {};
    const std::string* value = QueryValue("\\StringFileInfo\\" + m_strTranslation + "\\" + key);
    return value && !value->empty() ? *value : std::string();
}

const std::string* CVersionInfo::QueryValue(const std::string& path) {
    m_strQueryPath = path;
    for (const auto& [name, value] : m_data)
        if (EqualsNoCase(name, path))
            return &value;
    return nullptr;
}
