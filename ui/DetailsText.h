#pragma once

#include <QString>
#include <string>

class ServerInfo;
class SearchQuery;
struct FoundPlayer;
struct PlayerInfo;
struct RuleInfo;

// The texts of the details lists. Cells are bytes: a cell that shows record
// text is the record's bytes, so that a copy puts exactly those on the
// clipboard; the list converts them for the screen.
std::string ServerCellText(const ServerInfo& server, int column);
std::string PlayerCellText(const PlayerInfo& player, int column);
std::string QueryCellText(const SearchQuery& query, int column);
std::string ResultCellText(const FoundPlayer& found, int column);
std::string RuleCellText(const RuleInfo& rule, int column);

// "P" or "-", then the server type and the OS when printable, else ".".
std::string ServerFlagsText(const ServerInfo& server);
// How the server is queried: "A2S", "Old" (the WON generation's queries) or
// "?" while that is not known.
std::string ServerProtocolText(const ServerInfo& server);
// The text before the first CR LF pair, or all of it.
std::string FirstLine(const std::string& text);
// "%d:%02d:%02d": hours, minutes, seconds connected.
std::string ConnectedTimeText(const PlayerInfo& player);

// The parts of a server's summary line.
// "[played/limit]" or "[m:ss left]" from mp_timelimit and mp_timeleft.
std::string ServerTimeText(const ServerInfo& server);
// sv_contact, shortened to its first field when it is a vote message.
std::string ServerContactText(const ServerInfo& server);
// "players/reserved/max", or "players/max" without a reserve_slots rule.
std::string ServerPlayerText(const ServerInfo& server);
// The whole line shown in the dialog bar for one server.
QString ServerSummaryText(const ServerInfo& server);

// The status message of a player list with this many rows.
QString PlayersStatusText(const ServerInfo& server, int rows);
