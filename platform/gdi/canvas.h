#pragma once
// TCanvas: drawing on a bitmap with GDI's pixel rules.
#include <QImage>
#include <cstdint>

class TBitmap;

class TCanvas {
 public:
  explicit TCanvas(QImage* Target = nullptr);
  virtual ~TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

 protected:
  QImage* FTarget = nullptr;
};
