#include "launch/ShellLaunch.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include "core/IUserInterface.h"

std::string ShellErrorReason(int code) {
    switch (code) {
    case SHELL_FILE_NOT_FOUND:
    case SHELL_PATH_NOT_FOUND:
        return "file not found";
    case SHELL_ACCESS_DENIED:
        return "access denied";
    case SHELL_SHARING_VIOLATION:
        return "sharing violation";
    case SHELL_NO_ASSOCIATION:
        return "no application associated with this extension";
    default:
        return "error code " + std::to_string(code);
    }
}

std::string ShellErrorText(int code, const std::string& caption) {
    return (caption.empty() ? std::string("Cannot execute") : caption) + " (" +
           ShellErrorReason(code) + ")";
}

void ReportShellError(IUserInterface& ui, int code, const std::string& caption) {
    ui.MessageBox(ShellErrorText(code, caption), IUserInterface::Buttons::Ok,
                  IUserInterface::Icon::Error);
}

namespace {

// The first bytes of a file the system runs by itself: a program of its own
// format or a script naming its interpreter. Anything else only runs where
// a handler for its kind has been registered.
bool LooksRunnable(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = file.read(4);
    return head == QByteArray("\x7f"
                              "ELF",
                              4) ||
           head.startsWith("#!");
}

// Why the program cannot be started, found from the files themselves
// before trying: the system's texts for these failures are in the user's
// language and say nothing reliable to a program.
std::optional<int> CheckBeforeStart(const QString& program, const QString& workingDirectory) {
    const QFileInfo file(program);
    if (!file.exists()) {
        // A path through something that is not a folder can never exist.
        for (QFileInfo up(file.absolutePath()); !up.isRoot(); up.setFile(up.absolutePath()))
            if (up.exists())
                return up.isDir() ? SHELL_FILE_NOT_FOUND : SHELL_PATH_NOT_FOUND;
        return SHELL_FILE_NOT_FOUND;
    }
    if (file.isDir() || !file.isExecutable())
        return SHELL_ACCESS_DENIED;
    if (!workingDirectory.isEmpty()) {
        const QFileInfo folder(workingDirectory);
        if (!folder.isDir())
            return SHELL_PATH_NOT_FOUND;
        if (!folder.isExecutable())
            return SHELL_ACCESS_DENIED;
    }
    return std::nullopt;
}

} // namespace

std::optional<int> StartProgram(const QString& program, const QStringList& arguments,
                                const QString& workingDirectory) {
    // A bare name is looked for on the search path, as the system would.
    QString path = program;
    if (!program.contains(QLatin1Char('/'))) {
        path = QStandardPaths::findExecutable(program);
        if (path.isEmpty())
            return SHELL_FILE_NOT_FOUND;
    }
    if (const std::optional<int> failure = CheckBeforeStart(path, workingDirectory))
        return failure;
    QProcess process;
    process.setProgram(path);
    process.setArguments(arguments);
    process.setWorkingDirectory(workingDirectory);
    if (process.startDetached())
        return std::nullopt;
    // What is left after the checks: a file the system found no way to run,
    // or a failure it gives no reason for.
    if (process.error() == QProcess::FailedToStart && !LooksRunnable(path))
        return SHELL_NO_ASSOCIATION;
    return 0;
}
