#include "core/FoundPlayerList.h"

#include "core/PlayerList.h"
#include "core/ServerList.h"

int FoundPlayerColumns::CompareColumn(const FoundPlayer& a, const FoundPlayer& b, int column) {
    switch (column) {
    case 1:
        return PlayerColumns::CompareColumn(*a.m_pPlayer, *b.m_pPlayer, 1);
    case 2:
        return PlayerColumns::CompareColumn(*a.m_pPlayer, *b.m_pPlayer, 2);
    case 3:
        return PlayerColumns::CompareColumn(*a.m_pPlayer, *b.m_pPlayer, 3);
    case 4:
        return PlayerColumns::CompareColumn(*a.m_pPlayer, *b.m_pPlayer, 5);
    case 5:
        return ServerColumns::CompareColumn(*a.m_pServer, *b.m_pServer, 1);
    case 6:
        return ServerColumns::CompareColumn(*a.m_pServer, *b.m_pServer, 2);
    default:
        return 0;
    }
}
