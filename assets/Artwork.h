#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

namespace assets {

// The window icon: the face of a five-pin connector socket, rendered from its
// SVG source at the sizes window managers and task bars ask for. Up to 64:
// larger sizes come from the launcher entry's scalable icon, which desktops
// prefer.
inline constexpr int kIconSides[] = {16, 22, 24, 32, 48, 64};
QIcon WindowIcon();

// The picture of a five-pin connector plug on its cable, black background, at
// its natural size in device-independent pixels, sharp on a screen of
// `devicePixelRatio`. A null pixmap only if the program was built without it.
inline constexpr QSize kPictureSize{234, 104};
QPixmap Picture(qreal devicePixelRatio);

}  // namespace assets
