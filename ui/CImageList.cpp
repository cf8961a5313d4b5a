#include "ui/CImageList.h"

#include <QPainter>

namespace {

// The images live in the Qt resource file ui/images.qrc.
QString ImagePath(int index) { return QStringLiteral(":/images/list-%1.svg").arg(index); }

} // namespace

CImageList::CImageList() {
    for (int i = 0; i < kCount; ++i)
        m_icons[static_cast<size_t>(i)] = QIcon(ImagePath(i));
}

const QIcon& CImageList::Icon(int index) const {
    static const QIcon kNone;
    return index >= 0 && index < kCount ? m_icons[static_cast<size_t>(index)] : kNone;
}

QPixmap CImageList::Pixmap(int index, int size) const { return Icon(index).pixmap(size, size); }

QIcon CImageList::IconWithOverlay(int index, int overlay) const {
    if (overlay != 1 && overlay != 2)
        return Icon(index);
    QIcon combined;
    for (int size : {16, 32}) {
        QPixmap base = Pixmap(index, size);
        if (base.isNull())
            continue;
        QPainter painter(&base);
        painter.drawPixmap(0, 0, Pixmap(overlay == 1 ? 9 : 10, size));
        painter.end();
        combined.addPixmap(base);
    }
    return combined;
}
