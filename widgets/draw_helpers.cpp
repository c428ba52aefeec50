#include "widgets/draw_helpers.h"

#include <QApplication>
#include <QImage>
#include <QThread>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

// ------------------------------------------------------------ text and strings
std::string MakeCharString(char Ch, int32_t Count) { return Count > 0 ? std::string(Count, Ch) : std::string(); }

bool CharInByteSet(char Ch, const TByteCharSet& Chars) {
  const auto C = static_cast<uint8_t>(Ch);
  return (Chars[C / 8] >> (C % 8)) & 1;
}

std::string RemoveChar(const std::string& S, char Ch) {
  std::string R;
  R.reserve(S.size());
  for (char C : S)
    if (C != Ch) R += C;
  return R;
}

std::string ReplaceAllText(const std::string& S, const std::string& Search, const std::string& Replace) {
  if (Search.empty()) return S;
  std::string R;
  size_t Pos = 0;
  for (size_t Hit; (Hit = S.find(Search, Pos)) != std::string::npos; Pos = Hit + Search.size()) {
    R.append(S, Pos, Hit - Pos);
    R += Replace;
  }
  R.append(S, Pos, std::string::npos);
  return R;
}

std::string TrimLeadingSpaces(const std::string& S) {
  const size_t First = S.find_first_not_of(' ');
  return First == std::string::npos ? std::string() : S.substr(First);
}

std::string TrimTrailingSpaces(const std::string& S) {
  const size_t Last = S.find_last_not_of(' ');
  return Last == std::string::npos ? std::string() : S.substr(0, Last + 1);
}

std::string TrimSpaces(const std::string& S) { return TrimTrailingSpaces(TrimLeadingSpaces(S)); }

void DeleteMatchingLines(TStrings* List, const std::vector<std::string>& Values) {
  if (!List) return;
  List->BeginUpdate();
  try {
    for (const std::string& V : Values) {
      const std::string Wanted = TrimSpaces(V);
      for (int32_t I = List->GetCount() - 1; I >= 0; --I)
        if (TrimSpaces(List->Get(I)) == Wanted) List->Delete(I);
    }
  } catch (...) {
    List->EndUpdate();
    throw;
  }
  List->EndUpdate();
}

void DeleteEmptyLines(TStrings* List) { DeleteMatchingLines(List, {""}); }

std::string ToNumericText(const std::string& S, char DecimalSeparator, char ThousandSeparator) {
  std::string R = TrimSpaces(S);
  if (DecimalSeparator != ThousandSeparator) R = RemoveChar(R, ThousandSeparator);
  const std::string Decimal(1, DecimalSeparator);
  if (DecimalSeparator != '.' && ThousandSeparator != '.') R = ReplaceAllText(R, ".", Decimal);
  if (DecimalSeparator != ',' && ThousandSeparator != ',') R = ReplaceAllText(R, ",", Decimal);
  std::string Kept;
  for (char C : R)
    if (C == '+' || C == '-' || (C >= '0' && C <= '9') || C == DecimalSeparator || C == ThousandSeparator)
      Kept += C;
  if (Kept.empty()) return "0";
  if (Kept == "-") return "-0";
  return Kept;
}

std::string FitTextWithEllipsis(const std::string& Text, TCanvas* Canvas, int32_t MaxWidth) {
  std::string Result = Text;
  const int32_t Length = static_cast<int32_t>(Text.size());
  int32_t I = 1;
  while (I <= Length && Canvas->TextWidth(Result) > MaxWidth) {
    ++I;
    Result = Text.substr(0, static_cast<size_t>(std::max(0, Length - I))) + "...";
  }
  return Result;
}

// ------------------------------------------------------------ colour names
const std::array<TDefColorItem, 20> StandardColorNames = {{
    {clBlack, "clBlack", "Black"},           {clMaroon, "clMaroon", "Maroon"},
    {clGreen, "clGreen", "Green"},           {clOlive, "clOlive", "Olive green"},
    {clNavy, "clNavy", "Navy blue"},         {clPurple, "clPurple", "Purple"},
    {clTeal, "clTeal", "Teal"},              {clGray, "clGray", "Gray"},
    {clSilver, "clSilver", "Silver"},        {clRed, "clRed", "Red"},
    {clLime, "clLime", "Lime"},              {clYellow, "clYellow", "Yellow"},
    {clBlue, "clBlue", "Blue"},              {clFuchsia, "clFuchsia", "Fuchsia"},
    {clAqua, "clAqua", "Aqua"},              {clWhite, "clWhite", "White"},
    {clMoneyGreen, "clMoneyGreen", "Money green"}, {clSkyBlue, "clSkyBlue", "Sky blue"},
    {clCream, "clCream", "Cream"},           {clMedGray, "clMedGray", "Medium gray"},
}};

const std::array<TDefColorItem, 30> SystemColorNames = {{
    {clScrollBar, "clScrollBar", "Scrollbar"},
    {clBackground, "clBackground", "Desktop background"},
    {clActiveCaption, "clActiveCaption", "Active window title bar"},
    {clInactiveCaption, "clInactiveCaption", "Inactive window title bar"},
    {clMenu, "clMenu", "Menu background"},
    {clWindow, "clWindow", "Window background"},
    {clWindowFrame, "clWindowFrame", "Window frame"},
    {clMenuText, "clMenuText", "Menu text"},
    {clWindowText, "clWindowText", "Window text"},
    {clCaptionText, "clCaptionText", "Active window title bar text"},
    {clActiveBorder, "clActiveBorder", "Active window border"},
    {clInactiveBorder, "clInactiveBorder", "Inactive window border"},
    {clAppWorkSpace, "clAppWorkSpace", "Application workspace"},
    {clHighlight, "clHighlight", "Selection background"},
    {clHighlightText, "clHighlightText", "Selection text"},
    {clBtnFace, "clBtnFace", "Button face"},
    {clBtnShadow, "clBtnShadow", "Button shadow"},
    {clGrayText, "clGrayText", "Dimmed text"},
    {clBtnText, "clBtnText", "Button text"},
    {clInactiveCaptionText, "clInactiveCaptionText", "Inactive window title bar text"},
    {clBtnHighlight, "clBtnHighlight", "Button highlight"},
    {cl3DDkShadow, "cl3DDkShadow", "Dark shadow 3D elements"},
    {cl3DLight, "cl3DLight", "Highlight 3D elements"},
    {clInfoText, "clInfoText", "Tooltip text"},
    {clInfoBk, "clInfoBk", "Tooltip background"},
    {clGradientActiveCaption, "clGradientActiveCaption", "Gradient Active Caption"},
    {clGradientInactiveCaption, "clGradientInactiveCaption", "Gradient Inactive Caption"},
    {clHotLight, "clHotLight", "Hot Light"},
    {clMenuBar, "clMenuBar", "Menu Bar"},
    {clMenuHighlight, "clMenuHighlight", "Menu Highlight"},
}};

const std::array<TDefColorItem, 40> OfficeColorNames = {{
    {RGB(0, 0, 0), "clBlack", "Black"},
    {RGB(153, 51, 0), "clBrown", "Brown"},
    {RGB(51, 51, 0), "clOliveGreen", "Olive Green"},
    {RGB(0, 51, 0), "clDarkGreen", "Dark Green"},
    {RGB(0, 51, 102), "clDarkTeal", "Dark Teal"},
    {RGB(0, 0, 128), "clDarkBlue", "Dark Blue"},
    {RGB(51, 51, 153), "clIndigo", "Indigo"},
    {RGB(51, 51, 51), "clGray80", "Gray 80%"},
    {RGB(128, 0, 0), "clDarkRed", "Dark Red"},
    {RGB(255, 102, 0), "clOrange", "Orange"},
    {RGB(128, 128, 0), "clDarkYellow", "Dark Yellow"},
    {RGB(0, 128, 0), "clGreen", "Green"},
    {RGB(0, 128, 128), "clTeal", "Teal"},
    {RGB(0, 0, 255), "clBlue", "Blue"},
    {RGB(102, 102, 153), "clBlueGray", "Blue Gray"},
    {RGB(128, 128, 128), "clGray50", "Gray 50%"},
    {RGB(255, 0, 0), "clRed", "Red"},
    {RGB(255, 153, 0), "clLightOrange", "Light Orange"},
    {RGB(153, 204, 0), "clLime", "Lime"},
    {RGB(51, 153, 102), "clSeaGreen", "Sea Green"},
    {RGB(51, 153, 153), "clAqua", "Aqua"},
    {RGB(51, 102, 255), "clLightBlue", "Light Blue"},
    {RGB(128, 0, 128), "clViolet", "Violet"},
    {RGB(153, 153, 153), "clGray40", "Gray 40%"},
    {RGB(255, 0, 255), "clPink", "Pink"},
    {RGB(255, 204, 0), "clGold", "Gold"},
    {RGB(255, 255, 0), "clYellow", "Yellow"},
    {RGB(0, 255, 0), "clBrightGreen", "Bright Green"},
    {RGB(0, 255, 255), "clTurquoise", "Turquoise"},
    {RGB(166, 202, 240), "clSkyBlue", "Sky blue"},
    {RGB(153, 51, 102), "clPlum", "Plum"},
    {RGB(192, 192, 192), "clGray25", "Gray 25%"},
    {RGB(255, 153, 204), "clRose", "Rose"},
    {RGB(255, 204, 153), "clTan", "Tan"},
    {RGB(255, 255, 153), "clLightYellow", "Light Yellow"},
    {RGB(204, 255, 204), "clLightGreen", "Light Green"},
    {RGB(204, 255, 255), "clLightTurquoise", "Light Turquoise"},
    {RGB(153, 204, 255), "clPaleBlue", "Pale Blue"},
    {RGB(204, 153, 255), "clLavender", "Lavender"},
    {RGB(255, 255, 255), "clWhite", "White"},
}};

std::string ColorDisplayName(TColor Color) {
  for (const auto& Row : StandardColorNames)
    if (Row.Value == Color) return Row.Description;
  for (const auto& Row : OfficeColorNames)
    if (Row.Value == Color) return Row.Description;
  for (const auto& Row : SystemColorNames)
    if (Row.Value == Color) return Row.Description;
  return ColorToString(Color);
}

bool SameGUID(const TGUID& G1, const TGUID& G2) {
  return G1.D1 == G2.D1 && G1.D2 == G2.D2 && G1.D3 == G2.D3 && G1.D4 == G2.D4;
}

void RegisterOxCursors() {
  if (!Screen) return;
  try {
    const HCURSOR Multi = CreateCursorFromQCursor(Screen->GetQCursor(crMultiDrag));
    Screen->SetCursors(crOxMultiDragA, Multi);
    Screen->SetCursors(crOxDrag, CreateCursorFromQCursor(Screen->GetQCursor(crDrag)));
    Screen->SetCursors(crOxMultiDragB, Multi);
    Screen->SetCursors(crOxMultiDragC, Multi);
  } catch (...) {
    // Cursors are a nicety: start-up goes on without them.
  }
}

// ------------------------------------------------------------ rectangles
int32_t AbsRectWidth(const TRect& R) { return std::abs(R.Right - R.Left); }
int32_t AbsRectHeight(const TRect& R) { return std::abs(R.Bottom - R.Top); }

void NormalizeRect(TRect& R) {
  if (R.Left > R.Right) std::swap(R.Left, R.Right);
  if (R.Top > R.Bottom) std::swap(R.Top, R.Bottom);
}

bool IsSquareRect(const TRect& R) { return AbsRectWidth(R) == AbsRectHeight(R); }

bool CenterSquareInRect(TRect& Rect, int32_t MaxSize) {
  if (IsRectEmpty(Rect) || (MaxSize != -1 && MaxSize < 4)) return false;
  if (IsSquareRect(Rect)) return true;
  const int32_t W = Rect.Width(), H = Rect.Height();
  int32_t Size = std::min(W, H);
  if (MaxSize != -1) Size = std::min(Size, MaxSize);
  const int32_t L = Rect.Left + (W - Size) / 2, T = Rect.Top + (H - Size) / 2;
  Rect = TRect{L, T, L + Size, T + Size};
  return true;
}

// ------------------------------------------------------------ drawing wrappers
int32_t CanvasDrawText(TCanvas* Canvas, const std::string& Text, int32_t Count, TRect& Rect, uint32_t Format) {
  return DrawText(Canvas, Text, Count, Rect, Format & ~DT_MODIFYSTRING);
}

int32_t DCDrawText(TCanvas* DC, const std::string& Text, int32_t Count, TRect& Rect, uint32_t Format) {
  return DrawText(DC, Text, Count, Rect, Format & ~DT_MODIFYSTRING);
}

int32_t CanvasDrawTextBuffer(TCanvas* Canvas, const char* Text, int32_t Count, TRect& Rect, uint32_t Format) {
  const std::string S = Count < 0 ? std::string(Text) : std::string(Text, static_cast<size_t>(Count));
  return DrawText(Canvas, S, -1, Rect, Format);
}

bool CopyBits(TCanvas* DestDC, int32_t X, int32_t Y, int32_t Width, int32_t Height, TCanvas* SrcDC, int32_t XSrc,
              int32_t YSrc, uint32_t Rop) {
  return BitBlt(DestDC, X, Y, Width, Height, SrcDC, XSrc, YSrc, Rop);
}

void LineBetween(TCanvas* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  Canvas->MoveTo(X1, Y1);
  Canvas->LineTo(X2, Y2);
}

uint32_t PaletteRGBOf(TColor Color) { return ColorToRGB(Color) | 0x02000000u; }

bool ActiveWindowInThisThread() {
  return QApplication::instance() && QThread::currentThread() == QApplication::instance()->thread() &&
         QApplication::activeWindow() != nullptr;
}

TComponent* TopOwner(TComponent* Component) {
  if (!Component) return nullptr;
  while (Component->GetOwner()) Component = Component->GetOwner();
  return Component;
}

bool ReplaceComponentReference(TComponent* Receiver, TComponent* NewValue, TComponent*& Field) {
  if (NewValue == Field || !Receiver) return false;
  if (Field) Field->RemoveFreeNotification(Receiver);
  Field = NewValue;
  if (NewValue) NewValue->FreeNotification(Receiver);
  return true;
}

void SyncTrackFont(TFont* TrackFont, TFont* Font, TOxTrackFontOptions Options) {
  if (!TrackFont || !Font || !(Options & hoFollowFont)) return;
  if (!(Options & hoPreserveCharSet)) TrackFont->SetCharset(Font->GetCharset());
  if (!(Options & hoPreserveColor)) TrackFont->SetColor(Font->GetColor());
  if (!(Options & hoPreserveHeight)) TrackFont->SetHeight(Font->GetHeight());
  if (!(Options & hoPreserveName)) TrackFont->SetName(Font->GetName());
  if (!(Options & hoPreservePitch)) TrackFont->SetPitch(Font->GetPitch());
  if (!(Options & hoPreserveStyle)) TrackFont->SetStyle(Font->GetStyle());
}

// ------------------------------------------------------------ bitmaps
namespace {
// Pixel access in $00BBGGRR through a 32-bit copy of any bitmap.
QImage AsRgb32(const TBitmap* B) { return B->GetImage().convertToFormat(QImage::Format_RGB32); }
TColor PixelOf(const QImage& Img, int32_t X, int32_t Y) {
  const QRgb P = Img.pixel(X, Y);
  return RGB(static_cast<uint8_t>(qRed(P)), static_cast<uint8_t>(qGreen(P)), static_cast<uint8_t>(qBlue(P)));
}
void SetPixelOf(QImage& Img, int32_t X, int32_t Y, TColor C) {
  const uint32_t V = ColorToRGB(C);
  Img.setPixel(X, Y, qRgb(GetRValue(V), GetGValue(V), GetBValue(V)));
}
// Brings a bitmap to 24 bits per pixel for per-pixel rewriting.
void EnsureTrueColor(TBitmap* Bitmap) {
  if (Bitmap->GetPixelFormat() != pf24bit && Bitmap->GetPixelFormat() != pf32bit)
    Bitmap->SetPixelFormat(pf24bit);
}
}  // namespace

void StretchBitmapMasked(TCanvas* Canvas, TBitmap* Bitmap, TColor TransparentColor, int32_t DstX, int32_t DstY,
                         int32_t DstW, int32_t DstH, int32_t SrcX, int32_t SrcY, int32_t SrcW, int32_t SrcH) {
  if (!Canvas || !Bitmap || Bitmap->GetEmpty()) return;
  if (DstW < 1) DstW = Bitmap->GetWidth();
  if (DstH < 1) DstH = Bitmap->GetHeight();
  if (SrcW < 1 || SrcH < 1) {
    SrcX = 0;
    SrcY = 0;
    SrcW = Bitmap->GetWidth();
    SrcH = Bitmap->GetHeight();
  }
  const bool Mono = Bitmap->GetMonochrome();
  if (!Mono) Canvas->SetStretchBltMode(COLORONCOLOR);
  const QImage& Src = Bitmap->GetImage();
  if (TransparentColor == clNone) {
    Canvas->StretchFromImage(Src, DstX, DstY, DstW, DstH, SrcX, SrcY, SrcW, SrcH,
                             static_cast<uint32_t>(Canvas->GetCopyMode()));
    return;
  }
  if (TransparentColor == clDefault) {
    TransparentColor = Mono ? clWhite : Bitmap->GetPixelColor(0, Bitmap->GetHeight() - 1);
  }
  Canvas->StretchFromImage(Src, DstX, DstY, DstW, DstH, SrcX, SrcY, SrcW, SrcH, SRCCOPY, false, clWhite,
                           static_cast<TColor>(ColorToRGB(TransparentColor)));
}

void DrawBitmapMasked(TCanvas* Canvas, int32_t X, int32_t Y, TBitmap* Bitmap, TColor TransparentColor) {
  if (!Bitmap) return;
  StretchBitmapMasked(Canvas, Bitmap, TransparentColor, X, Y, Bitmap->GetWidth(), Bitmap->GetHeight(), 0, 0,
                      Bitmap->GetWidth(), Bitmap->GetHeight());
}

std::unique_ptr<TBitmap> MakeEmbossedBitmapEx(TBitmap* Bitmap, TColor TransparentColor, TColor BackColor,
                                              TColor HighlightColor, TColor ShadowColor, bool DrawHighlight) {
  auto Result = std::make_unique<TBitmap>();
  if (!Bitmap) return Result;
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  Result->SetPixelFormat(pf24bit);
  Result->SetSize(W, H);
  const QImage Src = AsRgb32(Bitmap);
  const TColor Key = static_cast<TColor>(ColorToRGB(TransparentColor));
  QImage Out(W, H, QImage::Format_RGB32);
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X) SetPixelOf(Out, X, Y, BackColor);
  auto Glyph = [&](int32_t X, int32_t Y) { return PixelOf(Src, X, Y) != Key; };
  if (DrawHighlight)
    for (int32_t Y = 0; Y + 1 < H; ++Y)
      for (int32_t X = 0; X + 1 < W; ++X)
        if (Glyph(X, Y)) SetPixelOf(Out, X + 1, Y + 1, HighlightColor);
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X)
      if (Glyph(X, Y)) SetPixelOf(Out, X, Y, ShadowColor);
  Result->SetImage(Out.convertToFormat(QImage::Format_BGR888));
  return Result;
}

std::unique_ptr<TBitmap> MakeEmbossedBitmap(TBitmap* Bitmap, TColor TransparentColor) {
  return MakeEmbossedBitmapEx(Bitmap, TransparentColor, clBtnFace, clBtnHighlight, clBtnShadow, true);
}

std::unique_ptr<TBitmap> MakeEmbossedBitmapFlat(TBitmap* Bitmap, TColor BackColor) {
  return MakeEmbossedBitmapEx(Bitmap, BackColor, BackColor, clBtnHighlight, clBtnShadow, true);
}

std::unique_ptr<TBitmap> MakeCheckerPattern(TColor Color1, TColor Color2) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(8, 8);
  QImage Img(8, 8, QImage::Format_RGB32);
  for (int32_t Y = 0; Y < 8; ++Y)
    for (int32_t X = 0; X < 8; ++X) SetPixelOf(Img, X, Y, (X % 2) == (Y % 2) ? Color2 : Color1);
  B->SetImage(Img.convertToFormat(QImage::Format_BGR888));
  return B;
}

void GradientFillRect(TCanvas* Canvas, TRect Rect, TColor StartColor, TColor EndColor, int32_t Direction,
                      uint8_t Colors) {
  if (!Canvas) return;
  Canvas->Lock();
  struct Unlock {
    TCanvas* C;
    ~Unlock() { C->Unlock(); }
  } Guard{Canvas};
  if ((StartColor == clNone && EndColor == clNone) || IsRectEmpty(Rect)) return;
  if (Direction == 1 || Direction == 3) {
    std::swap(StartColor, EndColor);
    --Direction;
  }
  TBrush* Brush = Canvas->GetBrush();
  const TColor SavedColor = Brush->GetColor();
  const TBrushStyle SavedStyle = Brush->GetStyle();
  Brush->SetStyle(bsSolid);
  const uint32_t S = ColorToRGB(StartColor), E = ColorToRGB(EndColor);
  if (Colors < 2 || S == E) {
    Brush->SetColor(StartColor);
    Canvas->FillRect(Rect);
  } else {
    const bool Vertical = Direction == 0;
    const int32_t Extent = Vertical ? Rect.Height() : Rect.Width();
    const int32_t N = std::max(2, std::min<int32_t>(Colors, Extent));
    const int32_t Band = Extent / N;
    const int32_t Origin = Vertical ? Rect.Top : Rect.Left;
    auto Fill = [&](int32_t From, int32_t Length) {
      TRect R = Rect;
      if (Vertical) {
        R.Top = From;
        R.Bottom = From + Length;
      } else {
        R.Left = From;
        R.Right = From + Length;
      }
      Canvas->FillRect(R);
    };
    for (int32_t K = 0; K < N; ++K) {
      const int32_t R = GetRValue(S) + MulDiv(K, GetRValue(E) - GetRValue(S), N - 1);
      const int32_t G = GetGValue(S) + MulDiv(K, GetGValue(E) - GetGValue(S), N - 1);
      const int32_t B = GetBValue(S) + MulDiv(K, GetBValue(E) - GetBValue(S), N - 1);
      Brush->SetColor(RGB(static_cast<uint8_t>(R), static_cast<uint8_t>(G), static_cast<uint8_t>(B)));
      if (Band > 0) Fill(Origin + K * Band, Band);
    }
    if (Extent % N != 0) {
      Brush->SetColor(static_cast<TColor>(E));
      Fill(Origin + Extent - Extent % N, Extent % N);
    }
  }
  Brush->SetColor(SavedColor);
  Brush->SetStyle(SavedStyle);
}

void DrawArrowTriangle(TCanvas* Canvas, TRect Rect, TColor Color, int32_t Inset, int32_t Direction) {
  if (!Canvas) return;
  NormalizeRect(Rect);
  if (Inset != 0) InflateRect(Rect, -Inset, -Inset);
  if (Rect.Width() % 2 != 0) --Rect.Right;
  CenterSquareInRect(Rect, -1);
  const int32_t W = Rect.Width() / 4;
  Canvas->GetPen()->SetColor(Color);
  switch (Direction) {
    case 0: Rect.Right -= W; break;
    case 1: Rect.Bottom -= W; break;
    case 2: Rect.Left += W; break;
    default: Rect.Top += W; break;
  }
  // Each line is one pixel shorter at both ends than the last, until the
  // lines have no length left.
  const bool Horizontal = Direction == 1 || Direction == 3;
  while (Horizontal ? Rect.Left < Rect.Right : Rect.Top < Rect.Bottom) {
    switch (Direction) {
      case 0: LineBetween(Canvas, Rect.Right, Rect.Top, Rect.Right, Rect.Bottom); break;
      case 1: LineBetween(Canvas, Rect.Left, Rect.Bottom, Rect.Right, Rect.Bottom); break;
      case 2: LineBetween(Canvas, Rect.Left, Rect.Top, Rect.Left, Rect.Bottom); break;
      default: LineBetween(Canvas, Rect.Left, Rect.Top, Rect.Right, Rect.Top); break;
    }
    InflateRect(Rect, -1, -1);
  }
}

// ------------------------------------------------------------ the XP look
void MakeGradientBitmap(int32_t Width, int32_t Height, TColor FromColor, TColor ToColor, uint8_t Colors,
                        int32_t Style, bool Dithered, TBitmap* Bitmap) {
  if (Width <= 0 || Height <= 0 || !Bitmap) return;
  Bitmap->SetPixelFormat(pf24bit);
  Bitmap->SetSize(Width, Height);
  QImage& Img = Bitmap->GetImage();
  auto Put = [&](int32_t X, int32_t Y, uint32_t Rgb) {
    uint8_t* P = Img.scanLine(Y) + 3 * X;
    P[0] = GetBValue(Rgb);
    P[1] = GetGValue(Rgb);
    P[2] = GetRValue(Rgb);
  };
  const uint32_t First = ColorToRGB(FromColor);
  for (int32_t Y = 0; Y < Height; ++Y)
    for (int32_t X = 0; X < Width; ++X) Put(X, Y, First);
  // One colour has no steps to run through.
  if (Colors < 2) return;
  uint32_t From = ColorToRGB(FromColor), To = ColorToRGB(ToColor);
  if (Style == 2 || Style == 3) std::swap(From, To);
  std::vector<uint32_t> Table(Colors);
  for (int32_t I = 0; I < Colors; ++I) {
    auto Step = [&](uint8_t A, uint8_t B) {
      return static_cast<uint8_t>(A + IERound(static_cast<double>(I) * (B - A) / (Colors - 1)));
    };
    Table[I] = static_cast<uint32_t>(RGB(Step(GetRValue(From), GetRValue(To)), Step(GetGValue(From), GetGValue(To)),
                                         Step(GetBValue(From), GetBValue(To))));
  }
  // The scatter starts from the same seed on every call, so equal arguments
  // give equal pictures.
  uint32_t Seed = 0x2545F491u;
  auto Random = [&](int32_t K) -> int32_t {
    if (K <= 0) return 0;
    Seed ^= Seed << 13;
    Seed ^= Seed >> 17;
    Seed ^= Seed << 5;
    return static_cast<int32_t>(Seed % static_cast<uint32_t>(K));
  };
  const bool Across = Style == 0 || Style == 2;
  const int32_t Length = Across ? Width : Height;  // the direction of change
  const int32_t Breadth = Across ? Height : Width;
  const int32_t Stripe = std::min(16, Breadth);
  auto At = [&](int32_t Along, int32_t Over, uint32_t Rgb) {
    if (Across) {
      Put(Along, Over, Rgb);
    } else {
      Put(Over, Along, Rgb);
    }
  };
  for (int32_t I = 0; I < Colors; ++I) {
    const int32_t Start = MulDiv(I, Length, Colors);
    for (int32_t Over = 0; Over < Stripe; ++Over)
      for (int32_t Along = std::max(0, Start); Along < Length; ++Along) At(Along, Over, Table[I]);
    if (Dithered && I > 0) {
      for (int32_t Over = 0; Over < Stripe; ++Over)
        for (int32_t K = 0; K <= Length / (Colors - 1); ++K) {
          const int32_t Along = Start + Random(K);
          if (Along >= 0 && Along < Length) At(Along, Over, Table[I - 1]);
        }
    }
  }
  // The first 16 rows (or columns) repeat over the rest.
  for (int32_t J = 1; J <= Breadth / 16; ++J)
    for (int32_t Over = 0; Over < 16 && 16 * J + Over < Breadth; ++Over)
      for (int32_t Along = 0; Along < Length; ++Along) {
        const int32_t SX = Across ? Along : Over, SY = Across ? Over : Along;
        const int32_t DX = Across ? Along : 16 * J + Over, DY = Across ? 16 * J + Over : Along;
        std::memcpy(Img.scanLine(DY) + 3 * DX, Img.scanLine(SY) + 3 * SX, 3);
      }
  Bitmap->Changed();
}

void DrawBoundLines(TCanvas* Canvas, TOxXPBoundLines Lines, TColor Color, const TRect& Rect) {
  if (!Canvas) return;
  TPen* Pen = Canvas->GetPen();
  Pen->SetStyle(psSolid);
  Pen->SetColor(Color);
  if (Lines & blLeft) LineBetween(Canvas, Rect.Left, Rect.Top, Rect.Left, Rect.Bottom - 1);
  if (Lines & blTop) LineBetween(Canvas, Rect.Left, Rect.Top, Rect.Right, Rect.Top);
  if (Lines & blRight) LineBetween(Canvas, Rect.Right - 1, Rect.Top, Rect.Right - 1, Rect.Bottom - 1);
  if (Lines & blBottom) LineBetween(Canvas, Rect.Left, Rect.Bottom - 1, Rect.Right, Rect.Bottom - 1);
}

void GrayOutBitmap(TBitmap* Bitmap) {
  if (!Bitmap || Bitmap->GetEmpty()) return;
  EnsureTrueColor(Bitmap);
  QImage& Img = Bitmap->GetImage();
  const int32_t Step = Bitmap->GetPixelFormat() == pf32bit ? 4 : 3;
  for (int32_t Y = 0; Y < Img.height(); ++Y) {
    uint8_t* P = Img.scanLine(Y);
    for (int32_t X = 0; X < Img.width(); ++X, P += Step) {
      int32_t G = (P[0] + P[1] + P[2]) / 3;
      G = G < 156 ? G + 100 : 255;
      P[0] = P[1] = P[2] = static_cast<uint8_t>(G);
    }
  }
  Bitmap->Changed();
}

void RecolorBlack(TBitmap* Bitmap, TColor Color) {
  if (!Bitmap || Bitmap->GetEmpty()) return;
  EnsureTrueColor(Bitmap);
  const uint32_t C = ColorToRGB(Color);
  QImage& Img = Bitmap->GetImage();
  const int32_t Step = Bitmap->GetPixelFormat() == pf32bit ? 4 : 3;
  for (int32_t Y = 0; Y < Img.height(); ++Y) {
    uint8_t* P = Img.scanLine(Y);
    for (int32_t X = 0; X < Img.width(); ++X, P += Step)
      if (P[0] == 0 && P[1] == 0 && P[2] == 0) {
        P[0] = GetBValue(C);
        P[1] = GetGValue(C);
        P[2] = GetRValue(C);
      }
  }
  Bitmap->Changed();
}

uint32_t TextAlignFlags(int32_t Alignment, bool WordWrap) {
  uint32_t Flags = DT_END_ELLIPSIS;
  if (Alignment == 1) Flags |= DT_RIGHT;
  if (Alignment == 2) Flags |= DT_CENTER;
  Flags |= WordWrap ? DT_WORDBREAK : DT_SINGLELINE;
  return Flags;
}

void DrawStyledText(TControl* Control, TCanvas* Canvas, std::string Text, TFont* Font, bool Enabled,
                    bool ShowAccelChar, TRect& Rect, uint32_t Flags) {
  if (!Canvas) return;
  // An empty text still measures one line.
  if (((Flags & DT_CALCRECT) && Text.empty()) || (ShowAccelChar && Text == "&")) Text += " ";
  if (!ShowAccelChar) Flags |= DT_NOPREFIX;
  if (Font) Canvas->SetFont(Font);
  if (Enabled) {
    CanvasDrawText(Canvas, Text, -1, Rect, Flags);
    return;
  }
  const TColor Saved = Canvas->GetFont()->GetColor();
  OffsetRect(Rect, 1, 1);
  Canvas->GetFont()->SetColor(clBtnHighlight);
  CanvasDrawText(Canvas, Text, -1, Rect, Flags);
  OffsetRect(Rect, -1, -1);
  Canvas->GetFont()->SetColor(clBtnShadow);
  CanvasDrawText(Canvas, Text, -1, Rect, Flags);
  Canvas->GetFont()->SetColor(Saved);
}

void DrawAlignedText(TControl* Control, TCanvas* Canvas, const std::string& Text, TFont* Font, bool Enabled,
                     bool ShowAccelChar, int32_t Alignment, bool WordWrap, TRect& Rect) {
  const int32_t W0 = Rect.Width(), H0 = Rect.Height();
  const uint32_t Flags = TextAlignFlags(Alignment, WordWrap);
  DrawStyledText(Control, Canvas, Text, Font, Enabled, ShowAccelChar, Rect, Flags | DT_CALCRECT);
  int32_t DX = 0;
  if (Alignment == 1) DX = W0 - Rect.Right - Rect.Left;
  if (Alignment == 2) DX = (W0 - Rect.Right) / 2;
  const int32_t DY = (H0 - Rect.Bottom) / 2;
  OffsetRect(Rect, DX, DY);
  DrawStyledText(Control, Canvas, Text, Font, Enabled, ShowAccelChar, Rect, Flags);
}

// ------------------------------------------------------------ pictures
void TOxPicture::ReadStoredData(const std::vector<uint8_t>& Data) {
  auto LoadBitmap = [this](const uint8_t* P, size_t N) {
    TMemoryStream S;
    S.WriteBuffer(P, static_cast<int64_t>(N));
    S.SetPosition(0);
    auto B = std::make_unique<TBitmap>();
    B->LoadFromStream(&S);
    SetGraphic(std::move(B));
  };
  if (Data.empty()) {
    SetGraphic(nullptr);
    return;
  }
  // The older form is the bitmap file itself (its first byte, "B", lies above
  // any class name's length).
  if (Data[0] > '?') {
    LoadBitmap(Data.data(), Data.size());
    return;
  }
  // The usual form: the graphic class's name, then its own data (for a
  // bitmap a 4-byte length and the file).
  const size_t NameLength = Data[0];
  if (1 + NameLength > Data.size()) throw EReadError("Invalid property value");
  const std::string ClassName(reinterpret_cast<const char*>(Data.data() + 1), NameLength);
  const size_t Rest = 1 + NameLength;
  if (!SameText(ClassName, "TBitmap")) throw EReadError("Invalid property value");
  if (Data.size() < Rest + 4) throw EReadError("Invalid property value");
  LoadBitmap(Data.data() + Rest + 4, Data.size() - Rest - 4);
}
