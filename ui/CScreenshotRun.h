#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>

#include "core/UpdateHint.h"

class CMainFrame;
class CScoutwireDoc;
class CSettings;
class SearchQuery;

// Drives the window without a user for a picture of it: Update Server List
// from the WON master, then, when the settings name a Steam list as the
// source, from that list too (keeping the first); the refresh of the new
// servers, a query, and the "Steam" group opened (the "WON" group when there
// is no Steam list); then the window is saved as a PNG and the event loop
// ends (exit code 0, or 1 when a master server did not answer or the picture
// could not be written). With an alert, the query is watched and its first
// player is shown as the alert the window would raise for them.
class CScreenshotRun : public QObject, public IDocView {
    Q_OBJECT
public:
    CScreenshotRun(CMainFrame& frame, CScoutwireDoc& doc, CSettings& settings, QString path,
                   bool alert = false, int timeoutMs = 120000);
    ~CScreenshotRun() override;

    void Start();
    void OnUpdate(IDocView* sender, int hint, const CUpdateHint* pHint) override;

private:
    void Update(int32_t source);
    void Check();
    void ShowResults();
    void ShowAlert(SearchQuery& query);
    void TakePicture();
    void Finish(int code, const char* problem);

    CMainFrame& m_frame;
    CScoutwireDoc& m_doc;
    CSettings& m_settings;
    // The list source and flags the settings had: the run changes them
    // between its updates and puts them back.
    int32_t m_nSource;
    uint32_t m_dwFlags;
    bool m_bSteamPassDone = false;
    QString m_strPath;
    bool m_bAlert;
    QTimer m_poll;
    QTimer m_deadline;
    bool m_bReloaded = false;
    bool m_bDone = false;
};
