#include "assets/Artwork.h"

#include <QPainter>
#include <QSvgRenderer>
#include <cmath>

namespace assets {
namespace {

QPixmap Render(QSvgRenderer& renderer, QSize size, qreal devicePixelRatio) {
  if (!renderer.isValid()) return {};
  QPixmap pixmap(QSize(static_cast<int>(std::ceil(size.width() * devicePixelRatio)),
                       static_cast<int>(std::ceil(size.height() * devicePixelRatio))));
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  renderer.render(&painter);
  painter.end();
  pixmap.setDevicePixelRatio(devicePixelRatio);
  return pixmap;
}

}  // namespace

QIcon WindowIcon() {
  // Pixmaps of our own rather than QIcon(":/...svg"), which needs the SVG
  // icon-engine plugin at run time.
  QSvgRenderer renderer(QStringLiteral(":/assets/icon.svg"));
  QIcon icon;
  if (!renderer.isValid()) return icon;
  // Up to 64: larger sizes come from the launcher entry's scalable icon, which
  // desktops prefer, and rendering 128 and 256 too took ten times as long,
  // at every start.
  for (int side : {16, 22, 24, 32, 48, 64}) icon.addPixmap(Render(renderer, QSize(side, side), 1.0));
  return icon;
}

QPixmap Picture(qreal devicePixelRatio) {
  QSvgRenderer renderer(QStringLiteral(":/assets/picture.svg"));
  return Render(renderer, kPictureSize, devicePixelRatio);
}

}  // namespace assets
