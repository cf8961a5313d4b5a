#pragma once

#include <string>

class IUserInterface;

// Opens a web address or a file with the application the desktop associates
// with it. A failure is reported with ReportShellError and the caption;
// returns whether the desktop took the request.
bool ShellOpen(IUserInterface& ui, const std::string& target, const std::string& caption = {});
