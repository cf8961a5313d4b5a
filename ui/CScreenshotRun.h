#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include "core/UpdateHint.h"

class CMainFrame;
class CScoutwireDoc;

// Drives the window without a user for a picture of it: Update Server List,
// the refresh of the new servers, a query, the "WON" group opened; then the
// window is saved as a PNG and the event loop ends (exit code 0, or 1 when
// the master server did not answer or the picture could not be written).
class CScreenshotRun : public QObject, public IDocView {
    Q_OBJECT
public:
    CScreenshotRun(CMainFrame& frame, CScoutwireDoc& doc, QString path, int timeoutMs = 120000);
    ~CScreenshotRun() override;

    void Start();
    void OnUpdate(IDocView* sender, int hint, const CUpdateHint* pHint) override;

private:
    void Check();
    void ShowResults();
    void TakePicture();
    void Finish(int code, const char* problem);

    CMainFrame& m_frame;
    CScoutwireDoc& m_doc;
    QString m_strPath;
    QTimer m_poll;
    QTimer m_deadline;
    bool m_bReloaded = false;
    bool m_bDone = false;
};
