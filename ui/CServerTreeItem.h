#pragma once

#include <QTreeWidgetItem>

#include "ui/TreeItemData.h"

class CImageList;

// An item of the server tree. It owns the TreeItemData that says what it
// stands for; a server item answers its label and icon from the server
// record each time the tree paints, so nothing about a server is stored here.
class CServerTreeItem : public QTreeWidgetItem {
public:
    static constexpr int kType = QTreeWidgetItem::UserType + 1;

    CServerTreeItem(const CImageList& images, uint32_t kind, void* object);

    const TreeItemData& Data() const { return m_data; }
    uint32_t Kind() const { return m_data.m_dwKind; }
    void* Object() const { return m_data.m_pObject; }
    // Groups: whether the group has members, which decides its expand button.
    void SetChildCount(uint32_t children);
    void SetImage(int image);

    QVariant data(int column, int role) const override;
    // Labels compare without regard to letter case, as the tree always sorted.
    bool operator<(const QTreeWidgetItem& other) const override;

    static QString ServerLabel(const ServerInfo& server);
    static int ServerImage(const ServerInfo& server);

private:
    const CImageList& m_images;
    TreeItemData m_data;
    int m_nImage = -1;
};
