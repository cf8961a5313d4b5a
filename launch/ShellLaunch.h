#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <string>

class IUserInterface;

// Failure codes of a launch keep the numbers the shell has always reported,
// so that one message table serves opening a document and starting the game:
// 2 and 3 file (or folder) not found, 5 access denied, 26 sharing violation,
// 31 no application for the file, anything else shown as its number.
constexpr int SHELL_FILE_NOT_FOUND = 2;
constexpr int SHELL_PATH_NOT_FOUND = 3;
constexpr int SHELL_ACCESS_DENIED = 5;
constexpr int SHELL_SHARING_VIOLATION = 26;
constexpr int SHELL_NO_ASSOCIATION = 31;

// "file not found", "access denied", ... or "error code %d".
std::string ShellErrorReason(int code);
// "%s (%s)": the caption, "Cannot execute" when it is empty, and the reason.
std::string ShellErrorText(int code, const std::string& caption);
// The message box of a failed launch, with the stop icon.
void ReportShellError(IUserInterface& ui, int code, const std::string& caption = {});

// Starts the program on its own, never through a shell: each argument
// reaches it as it is. An empty working directory keeps the current one.
// Returns the failure code, or none once the program runs: a missing file
// or folder, a file or folder the user may not use, a file that is no
// program, or 0 for a failure the system gives no reason for.
std::optional<int> StartProgram(const QString& program, const QStringList& arguments,
                                const QString& workingDirectory);
