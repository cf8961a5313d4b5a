#include "MasterFilter.h"

#include "Fleet.h"

#include <string>
#include <string_view>

namespace lab {

unsigned char FoldLatin1(unsigned char c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return static_cast<unsigned char>(c + 0x20);
    return c;
}

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (prefix.size() > text.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        if (FoldLatin1(static_cast<unsigned char>(text[i])) !=
            FoldLatin1(static_cast<unsigned char>(prefix[i])))
            return false;
    }
    return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && StartsWithNoCase(a, b);
}

} // namespace

MasterFilter::MasterFilter(const std::string& text, Keys keys)
    : m_gameOk(static_cast<size_t>(Fleet::GameCount()), true),
      m_mapOk(static_cast<size_t>(Fleet::MapCount()), true) {
    std::string_view rest(text);
    if (!rest.empty() && rest.front() == '\\')
        rest.remove_prefix(1);
    while (!rest.empty()) {
        const size_t keyEnd = rest.find('\\');
        const std::string_view key = rest.substr(0, keyEnd);
        std::string_view value;
        if (keyEnd == std::string_view::npos) {
            rest = {};
        } else {
            rest.remove_prefix(keyEnd + 1);
            const size_t valueEnd = rest.find('\\');
            value = rest.substr(0, valueEnd);
            rest =
                valueEnd == std::string_view::npos ? std::string_view{} : rest.substr(valueEnd + 1);
        }
        const bool on = value == "1";
        const bool steam = keys == Keys::Steam;
        if (steam && key == "appid") {
            for (int g = 0; g < Fleet::GameCount(); ++g)
                m_gameOk[size_t(g)] = m_gameOk[size_t(g)] &&
                                      std::to_string(Fleet::AppIdOf(Fleet::GameDir(g))) == value;
        } else if (steam && key == "password") {
            m_password = on ? 1 : value == "0" ? 0 : -1;
        } else if (steam && key == "map") {
            for (int m = 0; m < Fleet::MapCount(); ++m)
                m_mapOk[size_t(m)] = EqualsNoCase(Fleet::MapName(m), value);
        } else if (key == "gamedir" && steam) {
            for (int g = 0; g < Fleet::GameCount(); ++g)
                m_gameOk[size_t(g)] = m_gameOk[size_t(g)] && EqualsNoCase(Fleet::GameDir(g), value);
        } else if (key == "gamedir") {
            for (int g = 0; g < Fleet::GameCount(); ++g)
                m_gameOk[size_t(g)] = EqualsNoCase(Fleet::GameDir(g), value);
        } else if (key == "map") {
            for (int m = 0; m < Fleet::MapCount(); ++m)
                m_mapOk[size_t(m)] = StartsWithNoCase(Fleet::MapName(m), value);
        } else if (key == "dedicated") {
            m_dedicated = on;
        } else if (key == "linux") {
            m_linux = on;
        } else if (key == "empty") {
            m_notEmpty = on;
        } else if (key == "full") {
            m_notFull = on;
        }
    }
}

bool MasterFilter::Matches(const ServerSummary& server, int playersNow) const {
    return m_gameOk[server.game] && m_mapOk[server.map] && (!m_dedicated || server.type == 'd') &&
           (!m_linux || server.os == 'l') && (!m_notEmpty || playersNow > 0) &&
           (!m_notFull || playersNow < server.maxPlayers) &&
           (m_password < 0 || server.password == (m_password == 1));
}

} // namespace lab
