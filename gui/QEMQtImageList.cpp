#include "QEMQtImageList.h"

#include <QPainter>
#include <QPixmap>

#include "platform/QEMFormat.h"
#include "resources/QEMConst.h"

int TQEMQtImageList::Add(const TQEMImage& Image, uint32_t MaskColor) {
  FImages.push_back({Image, QIcon(QPixmap::fromImage(ToQImage(Image, MaskColor)))});
  return int(FImages.size()) - 1;
}

void TQEMQtImageList::Replace(int Index, const TQEMImage& Image, uint32_t MaskColor) {
  if (Index < 0 || Index >= Count()) return;
  FImages[size_t(Index)] = {Image, QIcon(QPixmap::fromImage(ToQImage(Image, MaskColor)))};
}

const TQEMImage& TQEMQtImageList::Image(int Index) const {
  if (Index < 0 || Index >= Count()) throw EQEMError(Format(SImageIndexError, Index));
  return FImages[size_t(Index)].Image;
}

QIcon TQEMQtImageList::Icon(int Index) const {
  return Index >= 0 && Index < Count() ? FImages[size_t(Index)].Icon : QIcon();
}

QImage TQEMQtImageList::ToQImage(const TQEMImage& Image, uint32_t MaskColor) {
  QImage result(Image.Width, Image.Height, QImage::Format_ARGB32);
  for (int32_t y = 0; y < Image.Height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
    for (int32_t x = 0; x < Image.Width; ++x) {
      const uint32_t p = Image.Pixel(x, y) & 0xFFFFFFu;
      line[x] = p == (MaskColor & 0xFFFFFFu) ? 0u : 0xFF000000u | p;
    }
  }
  return result;
}

TQEMImage QEMGlobeImage() {
  // Drawn without antialiasing: a blended edge would not match the mask colour.
  constexpr QRgb mask = 0xFFFF00FF;
  QImage img(16, 16, QImage::Format_ARGB32);
  img.fill(mask);
  QPainter p(&img);
  p.setBrush(QColor(0x3A, 0x7B, 0xD5));
  p.setPen(QColor(0x1C, 0x3F, 0x7A));
  p.drawEllipse(1, 1, 13, 13);
  p.setPen(QColor(0xE8, 0xF1, 0xFB));
  p.drawLine(2, 8, 14, 8);
  p.drawLine(8, 2, 8, 14);
  p.drawArc(4, 2, 8, 12, 0, 360 * 16);
  p.setPen(QColor(0x3F, 0x9B, 0x3F));
  p.setBrush(QColor(0x4C, 0xAF, 0x50));
  p.drawRect(4, 4, 3, 3);
  p.drawRect(9, 10, 3, 2);
  p.end();
  TQEMImage globe;
  globe.Width = 16;
  globe.Height = 16;
  globe.Pixels.resize(256);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      globe.Pixels[size_t(y * 16 + x)] = img.pixel(x, y) & 0xFFFFFFu;
  return globe;
}
