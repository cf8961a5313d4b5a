#pragma once

class CScoutwireDoc;
class ServerInfo;

// Starts the game connected to the server: the down and full questions, the
// password, the wait for a free place, then the game's command line.
void JoinServer(CScoutwireDoc& doc, ServerInfo& server);
