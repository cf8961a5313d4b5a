#pragma once

#include "ServerSummary.h"

#include <string>
#include <vector>

namespace lab {

// The master's list filter, a text of \key\value pairs:
//   \gamedir\X  game directory equals X, ignoring case;
//   \map\X      map begins with X, ignoring case;
// and the status flags qstat sends for -hlm,status=...:
//   \dedicated\1 dedicated servers, \linux\1 Linux servers,
//   \empty\1 servers that are not empty, \full\1 servers that are not full.
// The Steam master and web list also honour
//   \appid\N     the game's app id (cstrike 10, tfc 20, dod 30, others 70);
//   \password\0  servers without a password (1: only those with one);
// and compare \map\ whole, ignoring case.
// Unknown keys are ignored, as a real master would.
class MasterFilter {
public:
    enum class Keys { Won, Steam };
    explicit MasterFilter(const std::string& text, Keys keys = Keys::Won);

    bool Matches(const ServerSummary& server, int playersNow) const;

private:
    // Whether each entry of the fleet's game and map tables passes.
    std::vector<bool> m_gameOk;
    std::vector<bool> m_mapOk;
    bool m_dedicated = false;
    bool m_linux = false;
    bool m_notEmpty = false;
    bool m_notFull = false;
    int m_password = -1; // -1 either, 0 without, 1 with
};

// ASCII and Latin-1 letters fold to lower case.
unsigned char FoldLatin1(unsigned char c);

} // namespace lab
