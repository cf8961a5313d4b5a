#include "core/ServerList.h"

#include "core/TextCompare.h"

namespace {

uint32_t PingKey(uint32_t ping) { return ping == 0 ? 2147483647u : ping; }

} // namespace

int ServerColumns::CompareColumn(const ServerInfo& a, const ServerInfo& b, int column) {
    switch (column) {
    case 1:
        if (int c = CompareValues(a.m_dwAddress, b.m_dwAddress))
            return c;
        return CompareValues(a.m_wPort, b.m_wPort);
    case 2:
        return CompareNoCase(a.m_strName, b.m_strName);
    case 3:
        return CompareValues(PingKey(a.m_nPing), PingKey(b.m_nPing));
    case 4:
        return CompareNoCase(a.m_strGame, b.m_strGame);
    case 5:
        return CompareNoCase(a.m_strMap, b.m_strMap);
    case 6:
        if (int c = CompareValues(b.m_nPlayers, a.m_nPlayers))
            return c;
        return CompareValues(b.GetPlayerListSize(), a.GetPlayerListSize());
    case 7:
        return CompareValues(b.m_nMaxPlayers, a.m_nMaxPlayers);
    case 8:
        if (int c = CompareValues(a.m_bPassword != 0, b.m_bPassword != 0))
            return c;
        if (int c = CompareValues(static_cast<unsigned char>(a.m_cServerType),
                                  static_cast<unsigned char>(b.m_cServerType)))
            return c;
        return CompareValues(static_cast<unsigned char>(a.m_cOS), static_cast<unsigned char>(b.m_cOS));
    case 9:
        return CompareNoCase(a.m_strAnnotation, b.m_strAnnotation);
    case 10:
        return CompareNoCase(a.m_strHostName, b.m_strHostName);
    case 11:
        return CompareValues(a.m_nProtocol, b.m_nProtocol);
    default:
        return 0;
    }
}
