#pragma once

#include <QWidget>

class IMainFrame;
class QLineEdit;

// The bar under the toolbar with the one-line status edit of long
// operations. Ctrl+C there copies the whole line, whatever is selected.
class CScoutwireDialogBar : public QWidget {
    Q_OBJECT
public:
    explicit CScoutwireDialogBar(IMainFrame& frame, QWidget* parent = nullptr);

    void SetText(const QString& text);
    QString Text() const;
    QLineEdit* Edit() const { return m_pEdit; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static bool IsCopyKey(const QKeyEvent& key);

    IMainFrame& m_frame;
    QLineEdit* m_pEdit;
};
