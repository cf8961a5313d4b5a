#pragma once

#include <clocale>
#include <string>

// Runs a test in the locale of a German user (decimal comma, system texts in
// German) and restores the previous one afterwards. scripts/test generates
// it; where it is missing, Available() is false and the test skips.
class GermanLocale {
public:
    GermanLocale()
        : m_previous(std::setlocale(LC_ALL, nullptr)),
          m_bAvailable(std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) {}
    ~GermanLocale() { std::setlocale(LC_ALL, m_previous.c_str()); }
    GermanLocale(const GermanLocale&) = delete;
    GermanLocale& operator=(const GermanLocale&) = delete;

    bool Available() const { return m_bAvailable; }
    static constexpr const char* kMissing =
        "the locale de_DE.UTF-8 is not installed (localedef -i de_DE -f UTF-8 de_DE.UTF-8)";

private:
    std::string m_previous;
    bool m_bAvailable;
};
