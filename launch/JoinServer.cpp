#include "launch/JoinServer.h"

// Placeholder until joining is built.
void JoinServer(CScoutwireDoc&, ServerInfo&) {}
