#include "launch/GameCommandLine.h"

#include <QProcess>

#include "core/DisplayText.h"
#include "core/ServerInfo.h"
#include "core/TextCompare.h"
#include "net/Address.h"

std::string GameWorkingDirectory(std::string_view hlPath) {
    size_t end = hlPath.rfind('\\');
#ifndef _WIN32
    // A path written the Windows way still works, but the folders of this
    // system are separated by '/'.
    const size_t slash = hlPath.rfind('/');
    if (slash != std::string_view::npos && (end == std::string_view::npos || slash > end))
        end = slash;
#endif
    if (end == std::string_view::npos)
        end = hlPath.rfind(':');
    return end == std::string_view::npos ? std::string() : std::string(hlPath.substr(0, end + 1));
}

std::string GameParameterString(const std::string& hlParams, const ServerInfo& server) {
    const std::string game =
        server.m_strGame.empty() ? std::string() : " -game " + ToLower(server.m_strGame);
    const std::string password = server.m_bPassword ? " +password " + server.m_strPassword : "";
    return hlParams + game + password + " +connect " +
           FormatAddress(server.m_dwAddress, server.m_wPort);
}

bool IsPlainFolderName(std::string_view name) {
    if (name.empty())
        return false;
    const auto isAlnum = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    };
    if (!isAlnum(name.front()) && name.front() != '_')
        return false;
    for (const char c : name)
        if (!isAlnum(c) && c != '_' && c != '-' && c != '.')
            return false;
    return true;
}

bool GameArguments(const std::string& hlParams, const ServerInfo& server,
                   const std::string* password, QStringList& arguments, std::string& refusal) {
    arguments.clear();
    refusal.clear();
    // The server chooses its game directory; the game reads its whole command
    // line as one text again, so anything but a plain folder name could add
    // options or console commands of the server's choosing.
    const std::string game = ToLower(server.m_strGame);
    if (!game.empty() && !IsPlainFolderName(game)) {
        refusal = "Refusing to start Half-Life: the server's game directory \"" + server.m_strGame +
                  "\" is not a plain folder name.";
        return false;
    }
    arguments = QProcess::splitCommand(DisplayText(hlParams));
    if (!game.empty())
        arguments << QStringLiteral("-game") << QString::fromLatin1(game);
    // The password is the user's own text and stays one argument.
    if (password)
        arguments << QStringLiteral("+password") << DisplayText(*password);
    arguments << QStringLiteral("+connect")
              << QString::fromLatin1(FormatAddress(server.m_dwAddress, server.m_wPort));
    return true;
}
