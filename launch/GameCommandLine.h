#pragma once

#include <QStringList>
#include <string>
#include <string_view>

class ServerInfo;

// The folder of the game executable, which becomes its working directory:
// the path up to and including its last '\' (or, outside Windows, its last
// '\' or '/', whichever comes later); without one, up to and including its
// last ':'; with neither, empty (the current directory).
std::string GameWorkingDirectory(std::string_view hlPath);

// The game's command line as one text: the user's parameters, " -game %s"
// with the game directory in lower case when there is one, " +password %s"
// when the server wants one, and " +connect " with the server's address.
// Shown to people and kept for reference; the game itself is started from
// GameArguments.
std::string GameParameterString(const std::string& hlParams, const ServerInfo& server);

// A game directory the game can be told safely: letters, digits, '_', '-'
// and '.', starting with a letter, a digit or '_' (so never "..", never an
// option of its own, never a second argument or console command).
bool IsPlainFolderName(std::string_view name);

// The arguments the game is started with: the user's parameters split at
// white space (double quotes keep blanks together), then "-game" and the
// lower-case directory when there is one, "+password" and the password when
// one is given (the join decides that when it asks the user), "+connect" and
// "a.b.c.d:port", each a separate argument. A game directory that is not a
// plain folder name is refused: false, with the message for the user in
// refusal.
bool GameArguments(const std::string& hlParams, const ServerInfo& server,
                   const std::string* password, QStringList& arguments, std::string& refusal);
