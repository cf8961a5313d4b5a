#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

#include "ui/CImageList.h"
#include "ui/IMainFrame.h"

class CAlertPopup;
class CDesktopNotifier;
class CDetailsView;
class CTrayIcon;
class QToolButton;
class ServerInfo;
struct WatchAlert;
class CRecentFileList;
class CScoutwireDialogBar;
class CScoutwireDoc;
class CServerView;
class CSettings;
class ICommandTarget;
class IUserInterface;
class QAction;
class QLabel;
class QMenu;
class QSplitter;
class QToolBar;

// The main window: menu, toolbar, the status line under it, the status bar,
// the server tree on the left and two details panes on the right. It owns
// the two timers (socket cleaning, auto refresh) and routes every command
// to the active pane first.
class CMainFrame : public QMainWindow, public IMainFrame {
    Q_OBJECT
public:
    static constexpr int kDefaultTreeWidth = 350;
    static constexpr int kDefaultTopHeight = 450;

    CMainFrame(CScoutwireDoc& doc, CSettings& settings, IUserInterface& ui,
               CRecentFileList& recentFiles, QWidget* parent = nullptr);
    ~CMainFrame() override;

    // Bars, images, panes and timers; false when the window cannot work.
    bool Create();

    // The document commands. Each asks to save a modified document first
    // and answers false when the user cancels or the step fails.
    bool NewDocument();
    bool OpenDocumentFile(const std::string& path);
    bool SaveDocument(bool askForName);
    bool SaveModified();
    // Each view learns that a document has been attached.
    void InitialUpdateViews();

    bool StartTimers();
    // Carries out a command as the menu would: the active pane first.
    void RouteCommand(int id);
    void UpdateCommandStates();
    QAction* Action(int id) const;

    CServerView* GetServerView() const { return m_pTree; }
    CDetailsView* GetTopDetailsView() const { return m_pTop; }
    CDetailsView* GetBottomDetailsView() const { return m_pBottom; }
    CScoutwireDialogBar* GetDialogBar() const { return m_pDialogBar; }
    QWidget* ActivePane() const { return m_pActivePane; }
    QSplitter* OuterSplitter() const { return m_pOuter; }
    QSplitter* InnerSplitter() const { return m_pInner; }
    const QTimer& CleanTimer() const { return m_cleanTimer; }
    const QTimer& RefreshTimer() const { return m_refreshTimer; }
    bool IsAutoRefresh() const { return m_bAutoRefresh; }
    QString SocketsText() const;
    QString MessageText() const;

    // Watches, as the document reports them. An alert is a line in the
    // status bar and a desktop notification (or, without the service, the
    // tray's message or a popup in the window); it never opens a box.
    void ShowWatchAlert(const WatchAlert& alert);
    void OnWatchesChanged(int matchingWatches);
    void OnBackgroundJoinChanged(const ServerInfo* server, const std::string& status);
    // Brings the window back and selects the server in the tree.
    void ShowServer(uint32_t address, uint16_t port);
    // "join" or "show" from a notification, the tray's message or the popup.
    void OnAlertAction(const QString& action, uint32_t address, uint16_t port);
    CDesktopNotifier& Notifier() const { return *m_pNotifier; }
    CTrayIcon& Tray() const { return *m_pTray; }
    CAlertPopup& AlertPopup() const { return *m_pAlertPopup; }
    bool HasWatches() const;
    // Closed into the tray (the setting), not shown again since.
    bool IsInTray() const { return m_bInTray; }

    // Chooses a file for Open (save false) or Save As (save true); an empty
    // answer cancels. Tests replace the file dialog here.
    std::function<std::string(bool save, const std::string& initial)> m_chooseFile;

    // IMainFrame
    void CopyToClipboard(const std::string& text) override;
    void SetMessageText(const QString& text) override;
    bool HasStatusLine() const override { return m_pDialogBar != nullptr; }
    void SetStatusLine(const QString& text) override;
    void ActivateNextPane(QWidget* from, bool previous) override;
    void ActivateView(QWidget* view) override;
    void PostCommand(int id) override;
    CImageList& GetImageList() override { return m_images; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBars();
    void CreateStatusBar();
    bool CreateClient();
    QAction* AddAction(int id, const QString& text, const QString& statusTip,
                       const QList<QKeySequence>& shortcuts = {});
    void RebuildRecentFileMenu();
    void ApplyPaneSizes();
    void SavePaneSizes();
    void UpdateTitle();
    QWidget* PaneOf(QWidget* widget) const;
    ICommandTarget* PaneTarget(QWidget* pane) const;
    QWidget* PaneFocusWidget(QWidget* pane) const;

    void OnCommand(int id);
    bool GetCommandState(int id, bool& enabled, bool& checked) const;
    void OnCleanTimer();
    void OnRefreshTimer();
    void OnAutoRefresh();
    void OnFileOpen();
    void OnOptions();
    void OnAbout();
    void OnHomePage();
    void CreateWatchSurfaces();
    void FallbackAlert(const WatchAlert& alert);
    void UpdateTray();
    std::string ChooseFile(bool save, const std::string& initial);

    CScoutwireDoc& m_doc;
    CSettings& m_settings;
    IUserInterface& m_ui;
    CRecentFileList& m_recentFiles;

    QSplitter* m_pOuter = nullptr;
    QSplitter* m_pInner = nullptr;
    int m_nTreeWidth = kDefaultTreeWidth;
    int m_nTopHeight = kDefaultTopHeight;
    QTimer m_cleanTimer;
    bool m_bAutoRefresh = false;
    QTimer m_refreshTimer;
    QToolBar* m_pToolBar = nullptr;
    QToolBar* m_pDialogBarHost = nullptr;
    CScoutwireDialogBar* m_pDialogBar = nullptr;
    QLabel* m_pReadyLabel = nullptr;
    QLabel* m_pSocketsLabel = nullptr;
    QLabel* m_pJoinLabel = nullptr;
    QToolButton* m_pJoinCancel = nullptr;
    CDesktopNotifier* m_pNotifier = nullptr;
    CTrayIcon* m_pTray = nullptr;
    CAlertPopup* m_pAlertPopup = nullptr;
    // The server of the last alert the tray's message showed.
    uint32_t m_dwTrayAddress = 0;
    uint16_t m_wTrayPort = 0;
    int m_nMatchingWatches = 0;
    bool m_bQuitting = false;
    bool m_bHadWatches = false;
    bool m_bInTray = false;
    CImageList m_images;

    CServerView* m_pTree = nullptr;
    CDetailsView* m_pTop = nullptr;
    CDetailsView* m_pBottom = nullptr;
    QPointer<QWidget> m_pActivePane;
    std::map<int, QAction*> m_actions;
    QMenu* m_pFileMenu = nullptr;
    QAction* m_pRecentSeparator = nullptr;
    QTimer m_stateTimer;
    bool m_bCleaning = false;
    bool m_bSizesApplied = false;
    bool m_bDestroyed = false;
};
