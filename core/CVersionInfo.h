#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Reads version information: the string table of the first language and
// code page listed in the translation table. The program carries its own
// version data, generated into the binary when it is built.
class CVersionInfo {
public:
    // The version data of the named file, or of the program itself when no
    // name is given. Only the program's own data is known: another file
    // gives false.
    bool Open(const std::string& fileName = {});
    bool IsOpen() const { return m_bOpened; }

    // The string-table entry for the translation found by Open; empty when
    // the reader is not open or the entry is missing or empty.
    std::string GetString(const std::string& key);
    std::string GetFileVersion() { return GetString("FileVersion"); }
    std::string GetLegalCopyright() { return GetString("LegalCopyright"); }
    std::string GetCompanyName() { return GetString("CompanyName"); }
    std::string GetProductName() { return GetString("ProductName"); }

    uint16_t GetLanguage() const { return m_wLanguage; }
    uint16_t GetCodePage() const { return m_wCodePage; }
    // Language and code page as eight upper-case hexadecimal digits.
    const std::string& GetTranslation() const { return m_strTranslation; }

private:
    // Value paths compare without regard to case, as the system's look-up
    // did: the table is named "040904b0" but asked for as "040904B0".
    const std::string* QueryValue(const std::string& path);

    bool m_bOpened = false;
    // Value path ("\StringFileInfo\040904b0\ProductName") and its bytes.
    std::vector<std::pair<std::string, std::string>> m_data;
    uint16_t m_wLanguage = 0;
    uint16_t m_wCodePage = 1252;
    std::string m_strTranslation;
    std::string m_strQueryPath;
};
