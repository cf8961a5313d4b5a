#include "ui/CServerTreeItem.h"

#include "core/DisplayText.h"
#include "core/ServerInfo.h"
#include "net/Address.h"
#include "ui/CImageList.h"

CServerTreeItem::CServerTreeItem(const CImageList& images, uint32_t kind, void* object)
    : QTreeWidgetItem(kType), m_images(images) {
    m_data.m_dwKind = kind;
    m_data.m_pObject = object;
}

void CServerTreeItem::SetChildCount(uint32_t children) {
    m_data.m_nChildren = children;
    setChildIndicatorPolicy(children ? QTreeWidgetItem::ShowIndicator
                                     : QTreeWidgetItem::DontShowIndicatorWhenChildless);
}

void CServerTreeItem::SetImage(int image) {
    m_nImage = image;
    emitDataChanged();
}

QString CServerTreeItem::ServerLabel(const ServerInfo& server) {
    return DisplayText(FormatAddress(server.m_dwAddress, server.m_wPort)) + QStringLiteral("  [ ") +
           DisplayText(server.m_strName) + QStringLiteral(" ]  ") +
           DisplayText(server.m_strHostName);
}

int CServerTreeItem::ServerImage(const ServerInfo& server) {
    const bool answering = server.m_nPing != 0;
    if (server.m_dwFlags & GROUP_FAVOURITES)
        return answering ? 2 : 3;
    return answering ? 0 : 1;
}

QVariant CServerTreeItem::data(int column, int role) const {
    if (column == 0) {
        const ServerInfo* server = m_data.Server();
        if (server && role == Qt::DisplayRole)
            return ServerLabel(*server);
        if (role == Qt::DecorationRole) {
            const int image = server ? ServerImage(*server) : m_nImage;
            if (image >= 0)
                return m_images.Icon(image);
        }
    }
    return QTreeWidgetItem::data(column, role);
}

bool CServerTreeItem::operator<(const QTreeWidgetItem& other) const {
    return text(0).compare(other.text(0), Qt::CaseInsensitive) < 0;
}
