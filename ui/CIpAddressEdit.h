#pragma once

#include <QWidget>
#include <array>
#include <cstdint>

class QLineEdit;

// An IPv4 address typed as four numeric fields of 0 to 255. A field may be
// left blank; the caller asks how many were filled. A number above 255 is
// cut to 255, a '.' or a third digit moves on to the next field.
class CIpAddressEdit : public QWidget {
    Q_OBJECT
public:
    explicit CIpAddressEdit(QWidget* parent = nullptr);

    // Fills all four fields (0.0.0.0 shows four zeros).
    void SetAddress(uint32_t address);
    // The address with blank fields read as 0; returns the number of fields
    // that are not blank.
    int GetAddress(uint32_t& address) const;
    void ClearAddress();

    QLineEdit* Field(int index) const { return m_fields.at(static_cast<size_t>(index)); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnEdited(int index);
    void FocusField(int index);

    std::array<QLineEdit*, 4> m_fields{};
};
