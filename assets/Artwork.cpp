#include "assets/Artwork.h"

#include <QPainter>
#include <QResource>
#include <QSvgRenderer>
#include <cmath>

namespace assets {
namespace {

// Pixels rendered at build time (premultiplied ARGB, 32 bits each, row after
// row), copied from the program's own data: nothing to parse, render or
// decode while the window waits for them. Null if they are not of `size`.
QPixmap Rendered(const QString& name, QSize size) {
  const QResource pixels(QStringLiteral(":/assets/") + name);
  if (!pixels.isValid() || pixels.compressionAlgorithm() != QResource::NoCompression ||
      pixels.size() != qint64{4} * size.width() * size.height()) {
    return {};
  }
  return QPixmap::fromImage(QImage(pixels.data(), size.width(), size.height(), 4 * size.width(),
                                   QImage::Format_ARGB32_Premultiplied));
}

}  // namespace

QIcon WindowIcon() {
  QIcon icon;
  for (int side : kIconSides)
    icon.addPixmap(Rendered(QStringLiteral("icon-%1.argb").arg(side), {side, side}));
  return icon;
}

QPixmap Picture(qreal devicePixelRatio) {
  if (devicePixelRatio == 1) return Rendered(QStringLiteral("picture.argb"), kPictureSize);
  QSvgRenderer renderer(QStringLiteral(":/assets/picture.svg"));
  if (!renderer.isValid()) return {};
  QPixmap pixmap(QSize(static_cast<int>(std::ceil(kPictureSize.width() * devicePixelRatio)),
                       static_cast<int>(std::ceil(kPictureSize.height() * devicePixelRatio))));
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  renderer.render(&painter);
  painter.end();
  pixmap.setDevicePixelRatio(devicePixelRatio);
  return pixmap;
}

}  // namespace assets
