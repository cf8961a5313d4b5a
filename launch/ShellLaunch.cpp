#include "launch/ShellLaunch.h"

#include <QProcess>
#include <cerrno>
#include <cstring>

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

bool IsTableCode(int code) {
    return code == SHELL_FILE_NOT_FOUND || code == SHELL_PATH_NOT_FOUND ||
           code == SHELL_ACCESS_DENIED || code == SHELL_SHARING_VIOLATION ||
           code == SHELL_NO_ASSOCIATION;
}

QString SystemText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Qt names the failing call and the system's text for errno; the number
// itself is not kept, so it is found again by its text.
int ErrnoFromText(const QString& reason) {
    for (int error = 1; error < 256; ++error)
        if (SystemText(error) == reason)
            return error;
    return 0;
}

} // namespace

int ShellCodeFromStartError(const QString& errorString) {
    const qsizetype colon = errorString.lastIndexOf(QLatin1String(": "));
    const QString call = colon >= 0 ? errorString.left(colon) : QString();
    const QString reason = colon >= 0 ? errorString.mid(colon + 2) : errorString;
    const int error = ErrnoFromText(reason);
    switch (error) {
    case ENOENT:
        // A missing working folder fails at chdir, before the program is
        // even looked at.
        return call == QLatin1String("chdir") ? SHELL_PATH_NOT_FOUND : SHELL_FILE_NOT_FOUND;
    case ENOTDIR:
        return SHELL_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
        return SHELL_ACCESS_DENIED;
    case ETXTBSY:
        return SHELL_SHARING_VIOLATION;
    case ENOEXEC:
        return SHELL_NO_ASSOCIATION;
    default:
        return IsTableCode(error) ? 0 : error;
    }
}

std::optional<int> StartProgram(const QString& program, const QStringList& arguments,
                                const QString& workingDirectory) {
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(workingDirectory);
    if (process.startDetached())
        return std::nullopt;
    return ShellCodeFromStartError(process.errorString());
}
