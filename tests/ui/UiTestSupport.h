#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QSplitter>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "core/CScoutwireDoc.h"
#include "core/CSettings.h"
#include "core/DisplayText.h"
#include "tests/LabProcess.h"
#include "tests/ScriptedUI.h"
#include "ui/CMainFrame.h"
#include "ui/CScoutwireApp.h"
#include "ui/CScoutwireDialogBar.h"
#include "ui/CServerTreeItem.h"
#include "ui/CServerView.h"
#include "ui/CommandIds.h"
#include "ui/ITreeSelectionListener.h"

// Runs the event loop (sleeping in it) until the condition holds or the
// time is up; the result is the condition's last value.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 15000) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Lets queued calls and posted commands run.
inline void Settle(int ms = 30) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Writes to a settings file before a run starts.
inline void EditSettingsFile(const QString& path, const std::function<void(CSettings&)>& edit) {
    CSettings settings(path.toStdString());
    settings.Load();
    edit(settings);
    settings.Save();
}

// The whole program with a settings file of its own in a temporary folder
// and a scripted user.
class AppHarness {
public:
    AppHarness() : m_ini(m_dir.filePath(QStringLiteral("settings.ini"))) {}
    ~AppHarness() { Exit(); }

    bool Start(const QStringList& extra = {}) {
        app = std::make_unique<CScoutwireApp>(&ui);
        const bool started = app->InitInstance(
            QStringList{QStringLiteral("scoutwire"), QStringLiteral("--settings"), m_ini} + extra);
        if (started)
            WaitUntil([this] { return Frame().isVisible(); }, 5000);
        return started;
    }
    void Exit() {
        if (app)
            app->ExitInstance();
        app.reset();
    }

    CMainFrame& Frame() const { return *app->GetMainFrame(); }
    CScoutwireDoc& Doc() const { return *app->GetDocument(); }
    CSettings& Settings() const { return *app->GetSettings(); }
    CServerView& Tree() const { return *Frame().GetServerView(); }
    const QString& Ini() const { return m_ini; }
    QString Path(const QString& name) const { return m_dir.filePath(name); }

    ScriptedUI ui;
    std::unique_ptr<CScoutwireApp> app;

private:
    QTemporaryDir m_dir;
    QString m_ini;
};

struct RecordingListener : ITreeSelectionListener {
    void OnTreeSelection(const TreeItemData& item) override { seen.push_back(item); }
    std::vector<TreeItemData> seen;
};

inline std::vector<CServerTreeItem*> Children(QTreeWidgetItem* item) {
    std::vector<CServerTreeItem*> out;
    for (int i = 0; i < item->childCount(); ++i)
        out.push_back(static_cast<CServerTreeItem*>(item->child(i)));
    return out;
}

inline CServerTreeItem* ChildFor(QTreeWidgetItem* parent, const ServerInfo* server) {
    for (CServerTreeItem* child : Children(parent))
        if (child->Data().Server() == server)
            return child;
    return nullptr;
}

inline void PressKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(target, &press);
}
