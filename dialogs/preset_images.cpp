// The four frame pictures are drawn here once per process and kept as PNG
// data for the life of the program; the list entries point into that data.
#include "dialogs/preset_images.h"

#include <QBuffer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <mutex>

namespace {

std::vector<uint8_t> EncodePng(const QImage& Image) {
  QByteArray Bytes;
  QBuffer Buffer(&Bytes);
  Buffer.open(QIODevice::WriteOnly);
  Image.save(&Buffer, "PNG");
  return std::vector<uint8_t>(Bytes.begin(), Bytes.end());
}

// 162 x 159 with alpha: a white photo mount with rounded corners, a soft
// shadow, and a light inner area.
QImage PhotoMount() {
  QImage I(162, 159, QImage::Format_ARGB32);
  I.fill(Qt::transparent);
  QPainter P(&I);
  P.setRenderHint(QPainter::Antialiasing);
  P.setPen(Qt::NoPen);
  for (int i = 4; i >= 1; --i) {
    P.setBrush(QColor(0, 0, 0, 18 * (5 - i)));
    P.drawRoundedRect(QRectF(3 + i, 4 + i, 154, 150), 12, 12);
  }
  P.setBrush(QColor(255, 255, 255));
  P.setPen(QPen(QColor(200, 200, 200), 1));
  P.drawRoundedRect(QRectF(1.5, 1.5, 154, 150), 12, 12);
  P.setPen(QPen(QColor(214, 210, 200), 1));
  P.setBrush(QColor(246, 244, 238));
  P.drawRect(QRectF(17.5, 28.5, 123, 91));
  return I;
}

// 112 x 100 RGB: a blue film strip with white perforations on both sides.
QImage FilmStrip() {
  QImage I(112, 100, QImage::Format_RGB32);
  I.fill(QColor(28, 58, 138));
  QPainter P(&I);
  P.setPen(Qt::NoPen);
  P.setBrush(QColor(255, 255, 255));
  for (int y = 4; y + 7 <= 100; y += 12) {
    P.drawRect(3, y, 7, 7);
    P.drawRect(102, y, 7, 7);
  }
  P.setBrush(QColor(14, 24, 52));
  P.drawRect(13, 1, 82, 97);
  return I;
}

// 163 x 108, palette: a white notebook page with a spiral binding on the left.
QImage Notebook() {
  QImage I(163, 108, QImage::Format_RGB32);
  I.fill(QColor(212, 212, 212));
  QPainter P(&I);
  P.setRenderHint(QPainter::Antialiasing);
  P.setPen(QPen(QColor(170, 170, 170), 1));
  P.setBrush(QColor(255, 255, 255));
  P.drawRoundedRect(QRectF(14.5, 2.5, 146, 103), 4, 4);
  P.setPen(QPen(QColor(190, 210, 236), 1));
  for (int y = 14; y < 100; y += 8) P.drawLine(QPointF(16, y + 0.5), QPointF(159, y + 0.5));
  P.setPen(QPen(QColor(226, 120, 120), 1));
  P.drawLine(QPointF(26.5, 3), QPointF(26.5, 104));
  P.setBrush(Qt::NoBrush);
  P.setPen(QPen(QColor(96, 96, 104), 2));
  for (int y = 8; y < 104; y += 10) P.drawArc(QRectF(4, y, 18, 6), 0, 360 * 16);
  P.end();
  return I.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
}

// 150 x 150, palette: a square silver-blue frame around a dark inner area.
QImage SquareFrame() {
  QImage I(150, 150, QImage::Format_RGB32);
  QPainter P(&I);
  QLinearGradient G(0, 0, 150, 150);
  G.setColorAt(0, QColor(226, 232, 242));
  G.setColorAt(0.5, QColor(150, 168, 196));
  G.setColorAt(1, QColor(92, 110, 142));
  P.fillRect(0, 0, 150, 150, G);
  P.setPen(QColor(255, 255, 255));
  P.drawRect(1, 1, 147, 147);
  P.setPen(QColor(60, 72, 96));
  P.drawRect(14, 14, 120, 120);
  P.fillRect(17, 17, 114, 114, QColor(24, 28, 36));
  P.end();
  return I.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
}

// The PNG data of the four frames, made once.
const std::vector<std::vector<uint8_t>>& FrameData() {
  static std::once_flag Once;
  static std::vector<std::vector<uint8_t>> Data;
  std::call_once(Once, [] {
    Data.push_back(EncodePng(PhotoMount()));
    Data.push_back(EncodePng(FilmStrip()));
    Data.push_back(EncodePng(Notebook()));
    Data.push_back(EncodePng(SquareFrame()));
  });
  return Data;
}

}  // namespace

std::vector<std::unique_ptr<TIEPresetImage>>& IEPresetImages() {
  static std::vector<std::unique_ptr<TIEPresetImage>> List;
  return List;
}

void IEPresetImagesInitialize() {
  auto& List = IEPresetImages();
  if (!List.empty()) return;
  const auto& Data = FrameData();
  const TRect Rects[4] = {{18, 29, 140, 119}, {13, 1, 95, 98}, {30, 14, 147, 92}, {17, 17, 131, 131}};
  for (size_t i = 0; i < Data.size(); ++i) {
    auto E = std::make_unique<TIEPresetImage>();
    E->DataSize = static_cast<int32_t>(Data[i].size());
    E->Data = Data[i].data();
    E->Format = ioPNG;
    E->ImageRect = Rects[i];
    List.push_back(std::move(E));
  }
}

void IEPresetImagesFinalize() { IEPresetImages().clear(); }
