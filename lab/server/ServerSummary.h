#pragma once

#include <cstdint>

namespace lab {

enum class Behaviour : uint8_t {
    Normal,
    Silent,
    DetailsOnly,
    Message,
    Draining,
    // The hostile ones: see LabOptions.
    Unterminated,
    Overcount,
    Oversize,
    Flood,
    Unsolicited,
    Flapping,
    ChallengeForever,
    BadSplit,
};

// How an A2S server answers info: 'I', the old 'm', or 'm' and then 'I'.
enum class InfoForm : uint8_t { I, M, MThenI };
const char* InfoFormName(InfoForm form);

const char* BehaviourName(Behaviour behaviour);

// The few facts kept in memory for every server: what the master filters on,
// how the server behaves and how late it answers. Everything else is drawn
// again from the seed when a reply is built, so 100,000 servers cost about a
// megabyte.
struct ServerSummary {
    Behaviour behaviour = Behaviour::Normal;
    uint8_t game = 0; // index into the game table
    uint8_t map = 0;  // index into the map table
    uint8_t players = 0;
    uint8_t maxPlayers = 0;
    char type = 'd';
    char os = 'l';
    uint16_t latencyMs = 0;
    bool password = false; // the content's, kept for the Steam filter
    // A2S servers only (--protocol steam).
    bool wantsChallenge = false;
    bool newerSplit = false;
    bool runningIndex = false; // players' index bytes count from 0, else all 0
    InfoForm infoForm = InfoForm::I;
    uint8_t splitFault = 0; // A2sEncoder::SplitFault of a BadSplit server
    uint8_t extraFlags = 0;
};

} // namespace lab
