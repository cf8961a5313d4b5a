#pragma once

#include <QFrame>
#include <QTimer>
#include <cstdint>

class QLabel;

// A watch alert shown in a corner of the main window, when neither the
// desktop's notification service nor a tray can show it. It never takes
// the focus and goes by itself after a while.
class CAlertPopup : public QFrame {
    Q_OBJECT
public:
    static constexpr int kShowMs = 15000;

    explicit CAlertPopup(QWidget* window);

    void ShowAlert(const QString& summary, const QString& body, uint32_t address, uint16_t port);
    QString Summary() const;
    QString Body() const;

signals:
    void ActionChosen(const QString& action, quint32 address, quint16 port);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Place();

    QLabel* m_pSummary;
    QLabel* m_pBody;
    QTimer m_hide;
    uint32_t m_dwAddress = 0;
    uint16_t m_wPort = 0;
};
