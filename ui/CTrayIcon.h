#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QAction;
class QMenu;
class QSystemTrayIcon;

// The icon in the desktop's tray while watches run: how many of them match
// now, the background join with its Cancel, Show and Quit. Its balloon
// message stands in for desktop notifications where there is no service.
class CTrayIcon : public QObject {
    Q_OBJECT
public:
    explicit CTrayIcon(QObject* parent = nullptr);
    ~CTrayIcon() override;

    // Whether the desktop has a tray at all.
    static bool Available();

    void SetMatchingCount(int count);
    // What the background join is doing; empty when none runs.
    void SetBackgroundJoin(const QString& text);
    void SetShown(bool shown);
    bool IsShown() const;
    // False when the tray cannot show a message.
    bool ShowMessage(const QString& title, const QString& body);

    QString ToolTip() const { return m_strToolTip; }
    QMenu* Menu() const { return m_pMenu.get(); }
    QAction* CancelJoinAction() const { return m_pCancelJoin; }

signals:
    void ShowRequested();
    void CancelJoinRequested();
    void QuitRequested();
    void MessageClicked();

private:
    void UpdateToolTip();

    std::unique_ptr<QMenu> m_pMenu;
    QSystemTrayIcon* m_pIcon = nullptr;
    QAction* m_pCancelJoin = nullptr;
    int m_nMatching = 0;
    QString m_strJoin;
    QString m_strToolTip;
};
