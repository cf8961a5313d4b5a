#pragma once

#include <QIcon>
#include <QPixmap>
#include <array>

// The eleven 16 x 16 list images, drawn from SVG files kept in the
// repository: 0 green S in a ring (answering), 1 red S (not answering),
// 2 favourite answering, 3 favourite not answering, 4 blue S (groups),
// 5 binoculars (queries), 6 blue Q, 7 a face (players), 8 a pin (rules),
// 9 small yellow S (overlay 1: favourite), 10 red cross (overlay 2: error).
class CImageList {
public:
    static constexpr int kCount = 11;
    CImageList();

    const QIcon& Icon(int index) const;
    // The image with overlay 1 (favourite) or 2 (error) drawn over it.
    QIcon IconWithOverlay(int index, int overlay) const;
    QPixmap Pixmap(int index, int size = 16) const;

private:
    std::array<QIcon, kCount> m_icons;
};
