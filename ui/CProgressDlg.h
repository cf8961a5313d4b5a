#pragma once

#include <QDialog>

#include "core/IProgress.h"

class QLabel;
class QProgressBar;

// The modeless progress window of long operations: a text, a bar with its
// percentage and a Cancel button. While it exists its owner takes no input;
// the operation that created it keeps the event loop running through it.
class CProgressDlg : public QDialog, public IProgress {
    Q_OBJECT
public:
    explicit CProgressDlg(QWidget* owner = nullptr);
    ~CProgressDlg() override;

    // Disables the owner and shows the window.
    bool Create();

    void SetStatus(const std::string& text) override;
    void SetRange(int lower, int upper) override;
    void SetStep(int step) override;
    int SetPos(int pos) override;
    void PumpMessages() override;
    bool CheckCancelButton() override;

    // "%d%" of the position within the range; 100 only at the very end,
    // positions beyond it wrap.
    static QString PercentText(int lower, int upper, int pos);

protected:
    void reject() override;

private:
    void ReEnableOwner();

    QWidget* m_pOwner;
    QLabel* m_pStatus;
    QLabel* m_pPercent;
    QProgressBar* m_pBar;
    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nStep = 1;
    bool m_bCancelled = false;
    bool m_bOwnerDisabled = false;
};
