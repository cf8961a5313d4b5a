#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class Query;

// "Query": the search string, an optional name and the two matching flags of
// a player query or of Find Servers, edited in place on OK. A player query
// also has its watch marks.
class CQueryDlg : public QDialog {
    Q_OBJECT
public:
    explicit CQueryDlg(Query& query, QWidget* parent = nullptr);

    // Does nothing while the search string is empty.
    void accept() override;

private:
    Query& m_query;
    QLineEdit* m_pExpression;
    QLineEdit* m_pName;
    QCheckBox* m_pRegex;
    QCheckBox* m_pMatchCase;
    QCheckBox* m_pWatch = nullptr;
    QCheckBox* m_pWatchLeaving = nullptr;
};
