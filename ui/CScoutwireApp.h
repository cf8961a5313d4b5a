#pragma once

#include <QString>
#include <QStringList>
#include <memory>

#include "ui/CRecentFileList.h"

class CMainFrame;
class CQtUserInterface;
class CScoutwireDoc;
class CScreenshotRun;
class CSettings;
class IUserInterface;

// The program's start and end: the socket check, the settings, the recent
// files, the command line, the one document and the main window; at the end
// the window goes and every setting is written.
class CScoutwireApp {
public:
    // A user interface to use instead of the real one (tests script it).
    explicit CScoutwireApp(IUserInterface* ui = nullptr);
    ~CScoutwireApp();
    CScoutwireApp(const CScoutwireApp&) = delete;
    CScoutwireApp& operator=(const CScoutwireApp&) = delete;

    // The arguments include the program name first. Options: a document
    // path; "--settings FILE" keeps every setting of the run in that file;
    // "--screenshot FILE" (not advertised) fetches the server list, saves a
    // picture of the window and ends. False ends the program.
    bool InitInstance(const QStringList& arguments);
    // Runs the event loop, then ExitInstance; returns the exit code.
    int Run();
    // Closes the window and writes all settings; once.
    void ExitInstance();

    CMainFrame* GetMainFrame() const { return m_pFrame.get(); }
    CScoutwireDoc* GetDocument() const { return m_pDoc.get(); }
    CSettings* GetSettings() const { return m_pSettings.get(); }
    CRecentFileList& RecentFiles() { return m_recentFiles; }

private:
    std::unique_ptr<CQtUserInterface> m_pOwnUI;
    IUserInterface* m_pUI;
    std::unique_ptr<CSettings> m_pSettings;
    CRecentFileList m_recentFiles;
    std::unique_ptr<CScoutwireDoc> m_pDoc;
    std::unique_ptr<CMainFrame> m_pFrame;
    std::unique_ptr<CScreenshotRun> m_pScreenshot;
    bool m_bStarted = false;
    bool m_bExited = false;
};
