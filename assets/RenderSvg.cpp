// Build-time helper: renders an SVG source at the given size, to a PNG for
// desktops that want a bitmap icon beside the scalable one, or to raw pixels
// (OUT.argb: premultiplied ARGB, 32 bits a pixel in this machine's byte
// order, row after row) that the program shows without decoding anything.
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char* argv[]) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s IN.svg OUT.png|OUT.argb WIDTH HEIGHT\n", argv[0]);
    return 2;
  }
  QGuiApplication application(argc, argv);
  QSvgRenderer renderer(QString::fromLocal8Bit(argv[1]));
  if (!renderer.isValid()) {
    std::fprintf(stderr, "%s: not a valid SVG file\n", argv[1]);
    return 1;
  }
  QImage image(std::atoi(argv[3]), std::atoi(argv[4]), QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  renderer.render(&painter);
  painter.end();
  const QString out = QString::fromLocal8Bit(argv[2]);
  bool written = false;
  if (out.endsWith(QStringLiteral(".argb"))) {
    QFile file(out);
    const auto bytes = static_cast<qint64>(image.sizeInBytes());
    written = file.open(QIODevice::WriteOnly) &&
              file.write(reinterpret_cast<const char*>(image.constBits()), bytes) == bytes;
  } else {
    written = image.save(out, "PNG");
  }
  if (!written) {
    std::fprintf(stderr, "%s: cannot write\n", argv[2]);
    return 1;
  }
  return 0;
}
