#include "ui/CScoutwireApp.h"

#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>

#include "core/CScoutwireDoc.h"
#include "core/CSettings.h"
#include "core/DisplayText.h"
#include "net/SocketErrors.h"
#include "ui/CMainFrame.h"
#include "ui/CQtUserInterface.h"
#include "ui/CScreenshotRun.h"
#include "ui/CSteamKeyStore.h"

namespace {

// The window size of the pictures the screenshot run takes.
constexpr int kScreenshotWidth = 1280;
constexpr int kScreenshotHeight = 800;

} // namespace

CScoutwireApp::CScoutwireApp(IUserInterface* ui) {
    if (!ui) {
        m_pOwnUI = std::make_unique<CQtUserInterface>();
        ui = m_pOwnUI.get();
    }
    m_pUI = ui;
}

CScoutwireApp::~CScoutwireApp() {
    if (m_bStarted) {
        ExitInstance();
        return;
    }
    // A start that failed writes nothing back.
    if (m_pOwnUI)
        m_pOwnUI->SetStatusSink(nullptr);
    m_pScreenshot.reset();
    m_pFrame.reset();
    m_pDoc.reset();
}

bool CScoutwireApp::InitInstance(const QStringList& arguments) {
    std::string failure;
    const int maxUdp = StartSockets(failure);
    if (maxUdp <= 0) {
        if (failure.empty())
            m_pUI->MessageBox("Maximum UDP size is zero", IUserInterface::Buttons::Ok,
                              IUserInterface::Icon::Error);
        else
            m_pUI->MessageBox(failure, IUserInterface::Buttons::Ok, IUserInterface::Icon::None);
        return false;
    }

    QCommandLineParser parser;
    const QCommandLineOption settingsOption(QStringLiteral("settings"),
                                            QStringLiteral("Keep the settings in FILE."),
                                            QStringLiteral("FILE"));
    QCommandLineOption screenshotOption(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of the window."),
                                        QStringLiteral("FILE"));
    screenshotOption.setFlags(QCommandLineOption::HiddenFromHelp);
    // The picture then shows a watch alert too.
    QCommandLineOption alertOption(QStringLiteral("screenshot-alert"),
                                   QStringLiteral("Show a watch alert in the picture."));
    alertOption.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(settingsOption);
    parser.addOption(screenshotOption);
    parser.addOption(alertOption);
    parser.addPositionalArgument(QStringLiteral("document"), QStringLiteral("A .scw file."));
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "scoutwire: %s\n", qPrintable(parser.errorText()));
        return false;
    }

    m_pSettings = parser.isSet(settingsOption)
                      ? std::make_unique<CSettings>(parser.value(settingsOption).toStdString())
                      : std::make_unique<CSettings>();
    m_pSettings->Load();
    CSteamKeyStore::Load(*m_pSettings);
    m_recentFiles.Load(*m_pSettings);
    m_pDoc = std::make_unique<CScoutwireDoc>(*m_pSettings, *m_pUI, maxUdp);

    std::string open;
    if (!parser.positionalArguments().isEmpty())
        open = parser.positionalArguments().first().toLocal8Bit().toStdString();
    if (open.empty() && (m_pSettings->m_dwFlags & OPT_LOAD_LAST_DOC) &&
        !m_pSettings->m_strLastDoc.empty()) {
        // Forgotten before it is opened: a document that ends the program
        // while it opens is not opened again at the next start.
        open = m_pSettings->m_strLastDoc;
        m_pSettings->m_strLastDoc.clear();
        m_pSettings->Save();
    }

    m_pFrame = std::make_unique<CMainFrame>(*m_pDoc, *m_pSettings, *m_pUI, m_recentFiles);
    if (!m_pFrame->Create())
        return false;
    if (m_pOwnUI) {
        m_pOwnUI->SetMainWindow(m_pFrame.get());
        m_pOwnUI->SetSettings(m_pSettings.get());
        CMainFrame* frame = m_pFrame.get();
        m_pOwnUI->SetStatusSink(
            [frame](const std::string& text) { frame->SetMessageText(DisplayText(text)); });
    }
    const bool screenshot = parser.isSet(screenshotOption);
    if (screenshot)
        m_pFrame->resize(kScreenshotWidth, kScreenshotHeight);
    const bool ready = open.empty() ? m_pFrame->NewDocument() : m_pFrame->OpenDocumentFile(open);
    if (!ready)
        return false;
    m_pFrame->show();
    m_pFrame->activateWindow();
    m_bStarted = true;
    if (screenshot) {
        m_pScreenshot = std::make_unique<CScreenshotRun>(*m_pFrame, *m_pDoc, *m_pSettings,
                                                         parser.value(screenshotOption),
                                                         parser.isSet(alertOption));
        m_pScreenshot->Start();
    }
    return true;
}

int CScoutwireApp::Run() {
    const int code = QApplication::exec();
    ExitInstance();
    return code;
}

void CScoutwireApp::ExitInstance() {
    if (m_bExited || !m_bStarted)
        return;
    m_bExited = true;
    if (m_pOwnUI)
        m_pOwnUI->SetStatusSink(nullptr);
    m_pScreenshot.reset();
    // The window writes the pane sizes and the last document as it goes.
    m_pFrame.reset();
    m_pDoc.reset();
    m_recentFiles.Save(*m_pSettings);
    m_pSettings->Save();
}
