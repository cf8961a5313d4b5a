#include "ui/CDetailsView.h"

#include <QVBoxLayout>

// Placeholder until the details lists are built.
struct CDetailsView::Impl {
    Style style = Style::Details;
};

CDetailsView::CDetailsView(CScoutwireDoc&, IMainFrame&, QWidget* parent)
    : QWidget(parent), m_pImpl(std::make_unique<Impl>()) {
    setFocusPolicy(Qt::StrongFocus);
}
CDetailsView::~CDetailsView() = default;
void CDetailsView::OnInitialUpdate() {}
void CDetailsView::OnUpdate(IDocView*, int, const CUpdateHint*) {}
void CDetailsView::OnTreeSelection(const TreeItemData&) {}
void CDetailsView::OnListSelection(const ListSelection&) {}
bool CDetailsView::OnCommand(int) { return false; }
bool CDetailsView::OnUpdateCommand(int, bool&, bool&) { return false; }
void CDetailsView::AddSelectionListener(IListSelectionListener*) {}
void CDetailsView::RemoveSelectionListener(IListSelectionListener*) {}
void CDetailsView::SetStyle(Style style) { m_pImpl->style = style; }
CDetailsView::Style CDetailsView::GetStyle() const { return m_pImpl->style; }
uint32_t CDetailsView::GetMode() const { return 0; }
ServerInfo* CDetailsView::GetCurrentServer() const { return nullptr; }
QWidget* CDetailsView::FocusWidget() const { return const_cast<CDetailsView*>(this); }
