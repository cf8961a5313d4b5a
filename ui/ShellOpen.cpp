#include "ui/ShellOpen.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

#include "core/DisplayText.h"
#include "launch/ShellLaunch.h"

namespace {

// A scheme of one letter is a drive ("C:\readme.txt"), not an address.
bool IsAddress(const QUrl& url) {
    return url.isValid() && url.scheme().size() > 1;
}

} // namespace

bool ShellOpen(IUserInterface& ui, const std::string& target, const std::string& caption) {
    const QString text = DisplayText(target);
    QUrl url(text, QUrl::StrictMode);
    if (!IsAddress(url)) {
        if (!QFileInfo::exists(text)) {
            ReportShellError(ui, SHELL_FILE_NOT_FOUND, caption);
            return false;
        }
        url = QUrl::fromLocalFile(QFileInfo(text).absoluteFilePath());
    }
    // The desktop gives no reason; failing here means nothing handles it.
    if (!QDesktopServices::openUrl(url)) {
        ReportShellError(ui, SHELL_NO_ASSOCIATION, caption);
        return false;
    }
    return true;
}
