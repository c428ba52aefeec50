#include "platform/vcl/image_list.h"

#include <QPainter>
#include <algorithm>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/rtl/streams.h"
#include "platform/vcl/controls.h"
#include "platform/vcl/form_properties.h"

TCustomImageList::TCustomImageList(TComponent* AOwner) : TComponent(AOwner) {}
TCustomImageList::~TCustomImageList() = default;

void TCustomImageList::Change() {
  if (OnChange) OnChange(this);
}

void TCustomImageList::SetWidth(int32_t Value) {
  Value = std::clamp(Value, 1, 4096);
  if (Value == FWidth) return;
  FWidth = Value;
  Clear();
}

void TCustomImageList::SetHeight(int32_t Value) {
  Value = std::clamp(Value, 1, 4096);
  if (Value == FHeight) return;
  FHeight = Value;
  Clear();
}

void TCustomImageList::SetMasked(bool Value) {
  FMasked = Value;
  Change();
}

std::vector<QImage> TCustomImageList::Split(TBitmap* Image, TBitmap* Mask, TColor MaskColor, bool ByColor) const {
  std::vector<QImage> R;
  if (!Image || Image->GetEmpty()) return R;
  const QImage Src = Image->GetImage().convertToFormat(QImage::Format_ARGB32);
  const QImage M = Mask && !Mask->GetEmpty() ? Mask->GetImage().convertToFormat(QImage::Format_RGB32) : QImage();
  const QRgb Key = ByColor ? (qRgb(ColorToRGB(MaskColor) & 0xFF, (ColorToRGB(MaskColor) >> 8) & 0xFF,
                                   (ColorToRGB(MaskColor) >> 16) & 0xFF) & 0xFFFFFF)
                           : 0;
  const int32_t Pieces = std::max(1, Src.width() / FWidth);
  for (int32_t P = 0; P < Pieces; ++P) {
    QImage Piece(FWidth, FHeight, QImage::Format_ARGB32);
    Piece.fill(0);
    for (int32_t Y = 0; Y < FHeight && Y < Src.height(); ++Y) {
      const auto* S = reinterpret_cast<const QRgb*>(Src.constScanLine(Y));
      const auto* MR = !M.isNull() && Y < M.height() ? reinterpret_cast<const QRgb*>(M.constScanLine(Y)) : nullptr;
      auto* D = reinterpret_cast<QRgb*>(Piece.scanLine(Y));
      for (int32_t X = 0; X < FWidth; ++X) {
        const int32_t SX = P * FWidth + X;
        if (SX >= Src.width()) break;
        bool Clear = false;
        if (ByColor) Clear = (S[SX] & 0xFFFFFF) == Key;
        if (MR && SX < M.width()) Clear = (MR[SX] & 0xFFFFFF) == 0xFFFFFF;
        D[X] = Clear ? 0 : (S[SX] | 0xFF000000);
      }
    }
    R.push_back(std::move(Piece));
  }
  return R;
}

int32_t TCustomImageList::Add(TBitmap* Image, TBitmap* Mask) {
  std::vector<QImage> New = Split(Image, Mask, clNone, false);
  if (New.empty()) return -1;
  const int32_t First = GetCount();
  FImages.insert(FImages.end(), New.begin(), New.end());
  Change();
  return First;
}

int32_t TCustomImageList::AddMasked(TBitmap* Image, TColor MaskColor) {
  std::vector<QImage> New = Split(Image, nullptr, MaskColor, true);
  if (New.empty()) return -1;
  const int32_t First = GetCount();
  FImages.insert(FImages.end(), New.begin(), New.end());
  Change();
  return First;
}

bool TCustomImageList::Replace(int32_t Index, TBitmap* Image, TBitmap* Mask) {
  if (Index < 0 || Index >= GetCount()) return false;
  std::vector<QImage> New = Split(Image, Mask, clNone, false);
  if (New.empty()) return false;
  FImages[size_t(Index)] = New.front();
  Change();
  return true;
}

void TCustomImageList::Delete(int32_t Index) {
  if (Index < 0 || Index >= GetCount()) return;
  FImages.erase(FImages.begin() + Index);
  Change();
}

void TCustomImageList::Move(int32_t CurIndex, int32_t NewIndex) {
  if (CurIndex < 0 || CurIndex >= GetCount() || NewIndex < 0 || NewIndex >= GetCount()) return;
  QImage Keep = FImages[size_t(CurIndex)];
  FImages.erase(FImages.begin() + CurIndex);
  FImages.insert(FImages.begin() + NewIndex, Keep);
  Change();
}

void TCustomImageList::Clear() {
  if (FImages.empty()) return;
  FImages.clear();
  Change();
}

QImage TCustomImageList::Picture(int32_t Index) const {
  if (Index < 0 || Index >= GetCount()) return QImage();
  if (FMasked) return FImages[size_t(Index)];
  QImage Opaque = FImages[size_t(Index)].convertToFormat(QImage::Format_RGB32);
  return Opaque.convertToFormat(QImage::Format_ARGB32);
}

bool TCustomImageList::GetBitmap(int32_t Index, TBitmap* Image) const {
  if (!Image || Index < 0 || Index >= GetCount()) return false;
  QImage Out(FWidth, FHeight, QImage::Format_RGB32);
  Out.fill(FBkColor == clNone ? VclQColor(clWhite) : VclQColor(FBkColor));
  {
    QPainter P(&Out);
    P.drawImage(0, 0, FImages[size_t(Index)]);
  }
  Image->SetImage(Out.convertToFormat(QImage::Format_BGR888));
  return true;
}

bool TCustomImageList::GetMask(int32_t Index, TBitmap* Mask) const {
  if (!Mask || Index < 0 || Index >= GetCount()) return false;
  Mask->SetPixelFormat(pf1bit);
  Mask->SetSize(FWidth, FHeight);
  QImage& M = Mask->GetImage();
  const QImage& Src = FImages[size_t(Index)];
  // The one-bit table holds black and white in some order: look the index up.
  const uint32_t WhiteIndex = M.colorTable().size() > 1 && (M.colorTable()[1] & 0xFFFFFF) == 0xFFFFFF ? 1 : 0;
  for (int32_t Y = 0; Y < FHeight; ++Y)
    for (int32_t X = 0; X < FWidth; ++X)
      M.setPixel(X, Y, qAlpha(Src.pixel(X, Y)) == 0 ? WhiteIndex : 1 - WhiteIndex);
  Mask->Changed();
  return true;
}

void TCustomImageList::Draw(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Index, bool Enabled) const {
  if (!Canvas || Index < 0 || Index >= GetCount()) return;
  QImage Pic = Picture(Index);
  if (!Enabled) {
    // Greyed: the picture's darker pixels in the shadow colour over a
    // highlight one pixel down-right.
    QImage Grey(Pic.size(), QImage::Format_ARGB32);
    Grey.fill(0);
    const QRgb Light = VclQColor(clBtnHighlight).rgb(), Dark = VclQColor(clBtnShadow).rgb();
    for (int Pass = 0; Pass < 2; ++Pass)
      for (int YY = 0; YY < Pic.height(); ++YY)
        for (int XX = 0; XX < Pic.width(); ++XX) {
          const QRgb P = Pic.pixel(XX, YY);
          const int D = Pass == 0 ? 1 : 0;
          if (qAlpha(P) == 0 || qGray(P) >= 192 || XX + D >= Pic.width() || YY + D >= Pic.height()) continue;
          Grey.setPixel(XX + D, YY + D, Pass == 0 ? Light : Dark);
        }
    Pic = Grey;
  }
  Canvas->PaintSmooth(QRectF(X, Y, FWidth, FHeight), false, [&](QPainter& P) { P.drawImage(X, Y, Pic); });
}

std::vector<uint8_t> TCustomImageList::WriteData() const {
  std::vector<uint8_t> R;
  if (FImages.empty()) return R;
  const int32_t N = GetCount();
  TBitmap Strip, Masks;
  Masks.SetPixelFormat(pf1bit);
  Masks.SetSize(FWidth * N, FHeight);
  QImage All(FWidth * N, FHeight, QImage::Format_RGB32);
  All.fill(Qt::white);
  QImage& M = Masks.GetImage();
  const uint32_t WhiteIndex = M.colorTable().size() > 1 && (M.colorTable()[1] & 0xFFFFFF) == 0xFFFFFF ? 1 : 0;
  for (int32_t I = 0; I < N; ++I)
    for (int32_t Y = 0; Y < FHeight; ++Y)
      for (int32_t X = 0; X < FWidth; ++X) {
        const QRgb P = FImages[size_t(I)].pixel(X, Y);
        All.setPixel(I * FWidth + X, Y, P | 0xFF000000);
        M.setPixel(I * FWidth + X, Y, qAlpha(P) == 0 ? WhiteIndex : 1 - WhiteIndex);
      }
  Strip.SetImage(All.convertToFormat(QImage::Format_BGR888));
  TMemoryStream S;
  const uint8_t Count[4] = {uint8_t(N), uint8_t(N >> 8), uint8_t(N >> 16), uint8_t(N >> 24)};
  S.WriteBuffer(Count, 4);
  Strip.WriteData(&S);
  Masks.WriteData(&S);
  const auto* P = static_cast<const uint8_t*>(S.GetMemory());
  R.assign(P, P + S.GetSize());
  return R;
}

void TCustomImageList::ReadData(const std::vector<uint8_t>& Data) {
  if (Data.empty()) {
    Clear();
    return;
  }
  auto Bad = [] { throw EReadError("Invalid image list data"); };
  if (Data.size() < 4) Bad();
  const uint32_t N = Data[0] | (Data[1] << 8) | (Data[2] << 16) | (uint32_t(Data[3]) << 24);
  TCustomMemoryStream S(const_cast<uint8_t*>(Data.data()), static_cast<int64_t>(Data.size()));
  S.SetPosition(4);
  TBitmap Strip, Masks;
  // A stored bitmap: its byte count, then the file.
  auto ReadOne = [&](TBitmap& B) {
    uint8_t Lead[4];
    if (S.GetSize() - S.GetPosition() < 4) Bad();
    S.ReadBuffer(Lead, 4);
    const uint32_t Len = Lead[0] | (Lead[1] << 8) | (Lead[2] << 16) | (uint32_t(Lead[3]) << 24);
    if (Len > S.GetSize() - S.GetPosition()) Bad();
    TCustomMemoryStream One(const_cast<uint8_t*>(Data.data()) + S.GetPosition(), Len);
    try {
      B.LoadFromStream(&One);
    } catch (Exception&) {
      Bad();
    }
    S.SetPosition(S.GetPosition() + Len);
  };
  ReadOne(Strip);
  ReadOne(Masks);
  if (N == 0 || int64_t(N) * FWidth != Strip.GetWidth() || Strip.GetHeight() != FHeight ||
      Masks.GetWidth() != Strip.GetWidth() || Masks.GetHeight() != FHeight)
    Bad();
  FImages.clear();
  Add(&Strip, &Masks);
}

const TFormPropertyTable& TCustomImageList::FormProperties() const {
  static const TFormEnumNames StyleNames = {"dsFocus", "dsSelected", "dsNormal", "dsTransparent"};
  static const TFormEnumNames TypeNames = {"itImage", "itMask"};
  using L = TCustomImageList;
  static const TFormPropertyTable Table =
      TFormProperties<L>("TImageList", &ComponentFormProperties())
          .Integer("AllocBy", &L::GetAllocBy, &L::SetAllocBy)
          .Color("BkColor", &L::GetBkColor, &L::SetBkColor)
          .Color("BlendColor", &L::GetBlendColor, &L::SetBlendColor)
          .Enum("DrawingStyle", StyleNames, &L::GetDrawingStyle, &L::SetDrawingStyle)
          .Integer("Height", &L::GetHeight, &L::SetHeight)
          .Enum("ImageType", TypeNames, &L::GetImageType, &L::SetImageType)
          .Bool("Masked", &L::GetMasked, &L::SetMasked)
          .Integer("Width", &L::GetWidth, &L::SetWidth)
          // After the size: a new size empties the list.
          .Custom("Bitmap",
                  [](L& List, const TFormValue& V, TFormReadContext&) {
                    if (V.Kind != TFormValue::vkBinary) throw EReadError("Invalid property value");
                    List.ReadData(V.Binary);
                  },
                  [](const L& List, TFormValue& V) {
                    if (List.GetCount() == 0) return false;
                    V = TFormValue::OfBinary(List.WriteData());
                    return true;
                  })
          .Event("OnChange", &L::OnChange)
          .Build();
  return Table;
}
