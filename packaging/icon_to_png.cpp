// Writes the program's icon as a PNG for the desktops' icon themes, which
// read no .ico files: of the images in the icon file, the one with the most
// colours.
//
//   icon_to_png ICON.ico OUTPUT.png
#include <QCoreApplication>
#include <QImage>
#include <QImageReader>
#include <QSet>
#include <QString>

#include <cstdio>

namespace {

qsizetype DistinctColours(const QImage& image) {
  QSet<QRgb> colours;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y));
  return colours.size();
}

}  // namespace

int main(int argc, char** argv) {
  // Image format plugins are found through the application object.
  QCoreApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: icon_to_png ICON.ico OUTPUT.png\n");
    return 2;
  }
  QImageReader reader(QString::fromLocal8Bit(argv[1]));
  QImage best;
  for (int i = 0; i < reader.imageCount(); ++i) {
    if (!reader.jumpToImage(i)) break;
    const QImage image = reader.read();
    if (!image.isNull() && (best.isNull() || DistinctColours(image) > DistinctColours(best))) best = image;
  }
  if (best.isNull()) {
    std::fprintf(stderr, "icon_to_png: cannot read an image from %s\n", argv[1]);
    return 1;
  }
  if (!best.convertToFormat(QImage::Format_ARGB32).save(QString::fromLocal8Bit(argv[2]), "PNG")) {
    std::fprintf(stderr, "icon_to_png: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
