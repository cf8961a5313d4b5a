#pragma once

#include <QApplication>
#include <QSplitter>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <vector>

#include "core/CScoutwireDoc.h"
#include "core/CSettings.h"
#include "core/DisplayText.h"
#include "tests/LabProcess.h"
#include "tests/WaitSupport.h"
#include "tests/ui/DialogTestSupport.h"
#include "tests/ScriptedUI.h"
#include "ui/CMainFrame.h"
#include "ui/CScoutwireApp.h"
#include "ui/CScoutwireDialogBar.h"
#include "ui/CServerTreeItem.h"
#include "ui/CServerView.h"
#include "ui/CommandIds.h"
#include "ui/ITreeSelectionListener.h"

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
    // Started against a lab's master, with quick cleaning and sending; edit
    // changes the settings file further before the start.
    bool StartAgainst(const LabProcess& lab, const std::function<void(CSettings&)>& edit = {}) {
        CSettings s(m_ini.toStdString());
        s.Load();
        s.m_strWONMaster = "127.0.0.1";
        s.m_nCleanInterval = 20;
        s.m_nSendInterval = 1;
        s.m_dwFlags = OPT_CLEAR_BEFORE_UPDATE;
        if (edit)
            edit(s);
        s.Save();
        if (!Start())
            return false;
        // The master's port is not a setting; the lab's master has its own.
        Settings().m_wWONPort = lab.MasterPort();
        return true;
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
