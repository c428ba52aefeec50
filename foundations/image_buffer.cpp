#include "foundations/image_buffer.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "foundations/bit_helpers.h"
#include "foundations/geometry_colour.h"
#include "foundations/settings.h"
#include "foundations/system_probes.h"
#include "foundations/temp_file.h"
#include "foundations/colour_conversion.h"
#include "platform/gdi/bitmap.h"
#include "foundations/bit_rows.h"
#include "foundations/pixel_utils.h"

TIEBaseBitmap::~TIEBaseBitmap() = default;

namespace {

constexpr int64_t FallbackThreshold = 33554432;  // 32 MB
constexpr int64_t SegmentMinimum = 10485760;     // 10 MB
constexpr int64_t PixelBaseSlack = 128;          // room to align the pixel base to 64 bytes

// Trunc of a Double into 64 bits, saturating (NaN gives 0).
int64_t TruncSat64(double V) {
  if (std::isnan(V)) return 0;
  if (V >= 9.2e18) return INT64_MAX;
  if (V <= -9.2e18) return INT64_MIN;
  return int64_t(V);
}

// A float sample kept in 0..1 (NaN gives 0).
float ClampUnit(double V) {
  if (!(V > 0)) return 0.0f;
  if (V >= 1) return 1.0f;
  return float(V);
}

// The platform bitmap's 8-bit colour table is the gray ramp (i, i, i).
bool IsGrayColorTable(TBitmap* Bitmap) {
  int32_t N = Bitmap->GetColorTableSize();
  if (N <= 0) return false;
  for (int32_t I = 0; I < N; ++I) {
    TRGBQuad Q = Bitmap->GetColorTableEntry(I);
    if (Q.rgbRed != I || Q.rgbGreen != I || Q.rgbBlue != I) return false;
  }
  return true;
}

void SetGrayColorTable(TBitmap* Bitmap) {
  std::vector<TRGBQuad> T(256);
  for (int I = 0; I < 256; ++I) {
    T[size_t(I)].rgbRed = T[size_t(I)].rgbGreen = T[size_t(I)].rgbBlue = uint8_t(I);
  }
  Bitmap->SetColorTable(T);
}

void SetBlackWhiteColorTable(TBitmap* Bitmap) {
  std::vector<TRGBQuad> T(2);
  T[1].rgbRed = T[1].rgbGreen = T[1].rgbBlue = 255;
  Bitmap->SetColorTable(T);
}

bool IsBlackWhiteTable(TBitmap* Bitmap) {
  if (Bitmap->GetColorTableSize() != 2) return false;
  TRGBQuad A = Bitmap->GetColorTableEntry(0), B = Bitmap->GetColorTableEntry(1);
  return A.rgbRed == 0 && A.rgbGreen == 0 && A.rgbBlue == 0 && B.rgbRed == 255 &&
         B.rgbGreen == 255 && B.rgbBlue == 255;
}

// The platform pixel format that holds a buffer format (only those that fit).
TPixelFormat TBitmapFormatOf(TIEPixelFormat F) {
  switch (F) {
    case ie1g:
      return pf1bit;
    case ie8p:
    case ie8g:
    case ie16g:
      return pf8bit;
    case ie32RGB:
      return pf32bit;
    default:
      return pf24bit;
  }
}

// The nearest format that can live in a platform bitmap.
TIEPixelFormat TBitmapTargetFormat(TIEPixelFormat F) {
  if (IEFormatFitsTBitmap(F)) return F;
  if (F == ie16g || F == ie32f) return ie8g;
  return ie24RGB;
}

// Pixel X of a row of format F as blue, green, red.
TRGB PixelRGBOfRow(TIEPixelFormat F, const uint8_t* Row, int32_t X, TIEBitmap* Owner) {
  TRGB P;
  switch (F) {
    case ie1g: {
      uint8_t V = (Row[X >> 3] & (0x80 >> (X & 7))) ? 255 : 0;
      P.r = P.g = P.b = V;
      break;
    }
    case ie8p:
      P = Owner->GetPaletteColor(Row[X]);
      break;
    case ie8g:
      P.r = P.g = P.b = Row[X];
      break;
    case ie16g: {
      uint16_t W;
      std::memcpy(&W, Row + 2 * int64_t(X), 2);
      P.r = P.g = P.b = uint8_t(W >> 8);
      break;
    }
    case ie24RGB:
      std::memcpy(&P, Row + 3 * int64_t(X), 3);
      break;
    case ie32f: {
      float V;
      std::memcpy(&V, Row + 4 * int64_t(X), 4);
      P.r = P.g = P.b = uint8_t(int32_t(ClampUnit(V) * 255.0f));
      break;
    }
    case ieCMYK: {
      TCMYK C;
      std::memcpy(&C, Row + 4 * int64_t(X), 4);
      P = IECmykToRgb(C);
      break;
    }
    case ieRGB48: {
      TRGB48 W;
      std::memcpy(&W, Row + 6 * int64_t(X), 6);
      P.r = uint8_t(W.r >> 8);
      P.g = uint8_t(W.g >> 8);
      P.b = uint8_t(W.b >> 8);
      break;
    }
    case ieCIELab: {
      TCIELab L;
      std::memcpy(&L, Row + 3 * int64_t(X), 3);
      P = IECIELabToRGB(L);
      break;
    }
    case ie32RGB:
      std::memcpy(&P, Row + 4 * int64_t(X), 3);
      break;
    default:
      break;
  }
  return P;
}

// Clips a rectangle copy between a W1 x H1 source and a W2 x H2 destination.
// A negative origin on either side moves the other origin with it.  False when
// nothing is left.
bool ClipCopyRect(int64_t SrcW, int64_t SrcH, int64_t DstW, int64_t DstH, int64_t& SrcX,
                  int64_t& SrcY, int64_t& DstX, int64_t& DstY, int64_t& W, int64_t& H) {
  if (DstX < 0) {
    SrcX -= DstX;
    W += DstX;
    DstX = 0;
  }
  if (DstY < 0) {
    SrcY -= DstY;
    H += DstY;
    DstY = 0;
  }
  if (SrcX < 0) {
    DstX -= SrcX;
    W += SrcX;
    SrcX = 0;
  }
  if (SrcY < 0) {
    DstY -= SrcY;
    H += SrcY;
    SrcY = 0;
  }
  if (SrcX >= SrcW || SrcY >= SrcH || DstX >= DstW || DstY >= DstH) return false;
  W = std::min({W, SrcW - SrcX, DstW - DstX});
  H = std::min({H, SrcH - SrcY, DstH - DstY});
  return W > 0 && H > 0;
}

// Free space for a new temporary file in the library's temporary folder; -1
// when it cannot be read.
int64_t TempFolderFreeSpace() {
  struct statvfs S;
  std::string Folder = IEGetTempFolder();
  if (statvfs(Folder.c_str(), &S) != 0) return -1;
  long double Free = (long double)S.f_bavail * (long double)S.f_frsize;
  if (Free >= 9.2e18L) return INT64_MAX;
  return int64_t(Free);
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction

int64_t TIEBitmap::DefaultMemoryThreshold() {
  if (IETempFileThreshold != -1) return IETempFileThreshold;
  int64_t Memory = IEGetPhysicalMemory(false);
  if (Memory <= 0) return FallbackThreshold;
  return int64_t((long double)Memory / 1.3L);
}

TIEBitmap::TIEBitmap() : FFileBuffer(std::make_unique<TIEFileBuffer>()) {
  FMemoryThreshold = DefaultMemoryThreshold();
}

TIEBitmap::TIEBitmap(int32_t Width, int32_t Height, TIEPixelFormat PixelFormat) : TIEBitmap() {
  Allocate(Width, Height, PixelFormat);
}

TIEBitmap::~TIEBitmap() { FreeImage(true); }

std::unique_ptr<TIEBitmap> TIEBitmap::CreateSized(int32_t Width, int32_t Height,
                                                  TIEPixelFormat PixelFormat) {
  return std::make_unique<TIEBitmap>(Width, Height, PixelFormat);
}

std::unique_ptr<TIEBitmap> TIEBitmap::CreateAlphaPlane(int32_t Width, int32_t Height,
                                                       TIELocation Location) {
  auto Plane = std::make_unique<TIEBitmap>();
  Plane->FIsAlphaChannel = true;
  Plane->FExternalTBitmap = false;
  Plane->FExternalMemory = false;
  Plane->FLocation = Location == ieTBitmap ? ieMemory : Location;
  Plane->Allocate(Width, Height, ie8g);
  Plane->Fill(255);
  return Plane;
}

// ---------------------------------------------------------------------------
// Size and format

void TIEBitmap::UpdateDerivedFields() const {
  FBitCount = IEBitCountOf(FPixelFormat);
  FChannelCount = IEChannelCountOf(FPixelFormat);
  int32_t Align = FLocation == ieTBitmap ? 32 : FRowAlignment;
  int64_t Len = FWidth > 0 ? IEBitmapRowLen(FWidth, FBitCount, Align) : 0;
  FRowLen = Len > 0 ? Len : 0;
}

void TIEBitmap::BuildScanlineTable() const {
  FScanlineTable.clear();
  if (FTBitmap == nullptr) return;
  int32_t H = FTBitmap->GetHeight();
  if (H <= 0 || FTBitmap->GetWidth() <= 0) return;
  FScanlineTable.resize(size_t(H));
  for (int32_t Y = 0; Y < H; ++Y) FScanlineTable[size_t(Y)] = FTBitmap->GetScanLine(Y);
}

int32_t TIEBitmap::GetBitCount() const {
  if (FLocation == ieTBitmap) SyncWithTBitmap();
  return FBitCount;
}

int32_t TIEBitmap::GetHeight() const {
  if (FLocation == ieTBitmap) SyncWithTBitmap();
  return FHeight;
}

int32_t TIEBitmap::GetWidth() const {
  if (FLocation == ieTBitmap) SyncWithTBitmap();
  return FWidth;
}

TIEPixelFormat TIEBitmap::GetPixelFormat() const {
  if (FLocation == ieTBitmap) SyncWithTBitmap();
  return FPixelFormat;
}

int64_t TIEBitmap::GetRowLen() const {
  if (FLocation == ieTBitmap) SyncWithTBitmap();
  return FRowLen;
}

int32_t TIEBitmap::GetChannelCount() const {
  if (FLocation == ieTBitmap) SyncWithTBitmap();
  return FChannelCount;
}

bool TIEBitmap::IsEmpty() const {
  if (FLocation == ieTBitmap) SyncWithTBitmap();
  return FWidth == 0 || FHeight == 0 || FRowLen == 0 || FBitCount == 0;
}

void TIEBitmap::SyncWithTBitmap() const {
  if (FLocation != ieTBitmap || FTBitmap == nullptr) return;
  TPixelFormat PF = FTBitmap->GetPixelFormat();
  if (PF != pf1bit && PF != pf8bit && PF != pf24bit && PF != pf32bit) {
    // Rows of other platform formats cannot be read as buffer rows.
    FTBitmap->SetPixelFormat(pf24bit);
    PF = FTBitmap->GetPixelFormat();
  }
  TIEPixelFormat Derived;
  switch (PF) {
    case pf1bit:
      Derived = ie1g;
      break;
    case pf8bit:
      if (!FIsAlphaChannel && FTBitmapKey != FTBitmap->GetChangeKey()) {
        FTBitmapGray = IsGrayColorTable(FTBitmap);
        FTBitmapKey = FTBitmap->GetChangeKey();
      }
      Derived = (FIsAlphaChannel || FTBitmapGray) ? ie8g : ie8p;
      break;
    case pf32bit:
      Derived = ie32RGB;
      break;
    default:
      Derived = ie24RGB;
      break;
  }
  int32_t W = FTBitmap->GetWidth(), H = FTBitmap->GetHeight();
  if (W <= 0 || H <= 0) W = H = 0;
  if (W != FWidth || H != FHeight || Derived != FPixelFormat) {
    FWidth = W;
    FHeight = H;
    FPixelFormat = Derived;
    UpdateDerivedFields();
    if (FAlphaChannel && W > 0 &&
        (FAlphaChannel->FWidth != W || FAlphaChannel->FHeight != H)) {
      FAlphaChannel->Allocate(W, H, ie8g);
      FAlphaChannel->Fill(255);
    }
    BuildScanlineTable();
  } else if (FScanlineTable.size() != size_t(H) ||
             (H > 0 && FScanlineTable[0] != FTBitmap->GetScanLine(0))) {
    BuildScanlineTable();
  }
  if (FPixelFormat == ie8p) {
    if (!FPalette || FPaletteLen != 256) {
      FPalette.reset(new TRGB[256]());
      FPaletteLen = 256;
    }
    // Written only where it differs, so that readers in several threads do
    // not write at all while the table stays as it is.
    int32_t N = std::min(FTBitmap->GetColorTableSize(), 256);
    for (int32_t I = 0; I < N; ++I) {
      TRGBQuad Q = FTBitmap->GetColorTableEntry(I);
      TRGB C = IECreateRGB(Q.rgbRed, Q.rgbGreen, Q.rgbBlue);
      if (!(FPalette[size_t(I)] == C)) FPalette[size_t(I)] = C;
    }
  }
}

// ---------------------------------------------------------------------------
// Allocation

bool TIEBitmap::Allocate(int32_t Width, int32_t Height, TIEPixelFormat PixelFormat) {
  if (!FReAllocate && Width == FWidth && Height == FHeight && PixelFormat == FPixelFormat &&
      !IsEmpty())
    return true;
  if (!FExternalTBitmap)
    FreeImage(true);
  else
    FAlphaChannel.reset();
  FWidth = Width;
  FHeight = Height;
  FPixelFormat = PixelFormat;
  bool Ok = false;
  try {
    Ok = AllocateImage();
  } catch (...) {
    Ok = false;
  }
  if (!Ok) {
    FreeImage(true);
    FWidth = FHeight = 0;
    FRowLen = 0;
  }
  FReAllocate = false;
  return Ok;
}

bool TIEBitmap::AllocateImage() {
  if (FWidth < 1 || FHeight < 1 || FPixelFormat == ieNoFormat ||
      uint8_t(FPixelFormat) >= IEPixelFormatCount)
    return false;
  if (FPixelFormat == ie8p) {
    FPalette.reset(new (std::nothrow) TRGB[256]());
    if (!FPalette) return false;
    FPaletteLen = 256;
  }
  if (FLocation == ieTBitmap) {
    // The platform bitmap sets the row layout (32-bit rows).
    UpdateDerivedFields();
    if (FRowLen <= 0 || FRowLen > INT64_MAX / FHeight) return false;
    return AllocateTBitmap(FRowLen * FHeight);
  }
  UpdateDerivedFields();
  // Rows longer than 2 GB cannot be mapped one at a time; sizes that do not fit
  // 64 bits cannot be stored at all.
  if (FRowLen <= 0 || FRowLen > INT32_MAX || FRowLen > (INT64_MAX - PixelBaseSlack) / FHeight)
    return false;
  int64_t Size = FRowLen * FHeight;
  if (FLocation == ieFile && Size < FMemoryThreshold) FLocation = ieMemory;
  if (FLocation == ieMemory && Size > FMemoryThreshold) FLocation = ieFile;
  bool FileTried = false;
  if (FLocation == ieFile) {
    if (AllocateFileBlock(Size)) {
      FFull = false;
      return true;
    }
    FileTried = true;
    FLocation = ieMemory;
  }
  if (AllocateMemoryBlock(Size) || (IEAllowSegmentedMemory && AllocateSegments(Size))) {
    FFull = false;
    return true;
  }
  if (!IEAllowTempFileFallback || FileTried) return false;
  FLocation = ieFile;
  if (!AllocateFileBlock(Size)) return false;
  FFull = false;
  return true;
}

bool TIEBitmap::AllocateFileBlock(int64_t Size) {
  // A file larger than the free space would fail on its first write-back.
  int64_t Free = TempFolderFreeSpace();
  if (Free >= 0 && Size > Free) return false;
  if (!FFileBuffer) FFileBuffer = std::make_unique<TIEFileBuffer>();
  return FFileBuffer->AllocateFile("IMG", true, Size);
}

bool TIEBitmap::AllocateMemoryBlock(int64_t Size) {
  void* Block = IEAllocLarge(Size + PixelBaseSlack);
  if (Block == nullptr) return false;
  if (!IEIsZeroFilledLarge(Block)) std::memset(Block, 0, size_t(Size + PixelBaseSlack));
  FRawBlock = Block;
  uintptr_t A = reinterpret_cast<uintptr_t>(Block);
  A = (A + 63) & ~uintptr_t(63);
  FPixelBase = reinterpret_cast<uint8_t*>(A);
  return true;
}

bool TIEBitmap::AllocateSegments(int64_t Size) {
  int64_t Memory = IEGetPhysicalMemory(false);
  if (Memory > 0 && Size > Memory) return false;
  int64_t N = 4;
  for (;;) {
    int64_t RowsPerSegment = IECeil((long double)FHeight / (long double)N);
    int64_t SegmentSize = RowsPerSegment * FRowLen;
    if (SegmentSize < SegmentMinimum && N > 4) return false;
    std::vector<void*> Segments;
    try {
      Segments.assign(size_t(N), nullptr);
    } catch (...) {
      return false;
    }
    bool All = true;
    for (int64_t I = 0; I < N; ++I) {
      Segments[size_t(I)] = IEGlobalAllocZero(SegmentSize);
      if (Segments[size_t(I)] == nullptr) {
        All = false;
        break;
      }
    }
    if (All) {
      FSegments = std::move(Segments);
      FRowsPerSegment = int32_t(RowsPerSegment);
      return true;
    }
    for (void*& S : Segments)
      if (S != nullptr) IEGlobalFreeAndNil(S);
    N *= 2;
    if (N >= FHeight) return false;
  }
}

bool TIEBitmap::AllocateTBitmap(int64_t Size) {
  int64_t Memory = IEGetPhysicalMemory(false);
  if (Memory > 0 && Size > Memory) return false;
  if (!IEFormatFitsTBitmap(FPixelFormat) && FPixelFormat != ie16g) return false;
  try {
    if (FTBitmap == nullptr) {
      FOwnedTBitmap = std::make_unique<TBitmap>();
      FTBitmap = FOwnedTBitmap.get();
    }
    FTBitmap->SetSize(1, 1);
    FTBitmap->SetPixelFormat(TBitmapFormatOf(FPixelFormat));
    if (FPixelFormat == ie16g) FPixelFormat = ie8g;
    if (FPixelFormat == ie1g) SetBlackWhiteColorTable(FTBitmap);
    if (FPixelFormat == ie8g) SetGrayColorTable(FTBitmap);
    if (FPixelFormat == ie8p) {
      std::vector<TRGBQuad> T(256);  // the palette is all black until written
      FTBitmap->SetColorTable(T);
    }
    FTBitmap->SetSize(FWidth, FHeight);
    if (FTBitmap->GetWidth() != FWidth || FTBitmap->GetHeight() != FHeight) return false;
    UpdateDerivedFields();
    BuildScanlineTable();
    if (FScanlineTable.size() != size_t(FHeight)) return false;
    for (int32_t Y = 0; Y < FHeight; ++Y) std::memset(FScanlineTable[size_t(Y)], 0, size_t(FRowLen));
  } catch (...) {
    return false;
  }
  return true;
}

void TIEBitmap::ReleaseMappedRow() {
  if (FMappedRow != nullptr) {
    void* P = FMappedRow;
    FMappedRow = nullptr;
    FFileBuffer->UnMap(P);
  }
}

void TIEBitmap::FreeImage(bool FreeAlpha) {
  if (FreeAlpha) FAlphaChannel.reset();
  FPalette.reset();
  FPaletteLen = 0;
  ReleasePixelStorage();
  FWidth = FHeight = 0;
  FRowLen = 0;
  FBitCount = FChannelCount = 0;
  FFull = false;
}

// ---------------------------------------------------------------------------
// Rows

uint8_t* TIEBitmap::GetScanline(int32_t Row) {
  if (FLocation == ieTBitmap && FScanlineTable.size() != size_t(FHeight)) SyncWithTBitmap();
  if (Row < 0 || Row >= FHeight || FRowLen <= 0) return nullptr;
  if (FRowOrder == 1) Row = FHeight - 1 - Row;
  switch (FLocation) {
    case ieMemory:
      if (!FSegments.empty())
        return static_cast<uint8_t*>(FSegments[size_t(Row / FRowsPerSegment)]) +
               int64_t(Row % FRowsPerSegment) * FRowLen;
      if (FPixelBase == nullptr) return nullptr;
      return FPixelBase + FRowLen * int64_t(FHeight - 1 - Row);
    case ieFile:
      if (!FFileBuffer || !FFileBuffer->IsAllocated()) return nullptr;
      ReleaseMappedRow();
      FMappedRow = FFileBuffer->Map(FAccess, int64_t(Row) * FRowLen, FRowLen);
      return static_cast<uint8_t*>(FMappedRow);
    case ieTBitmap:
      if (size_t(Row) >= FScanlineTable.size()) return nullptr;
      return FScanlineTable[size_t(Row)];
  }
  return nullptr;
}

uint8_t* TIEBitmap::LockScanline(int32_t Row) {
  if (FLocation != ieFile) return GetScanline(Row);
  if (Row < 0 || Row >= FHeight || FRowLen <= 0 || !FFileBuffer->IsAllocated()) return nullptr;
  ReleaseMappedRow();
  int32_t Physical = FRowOrder == 1 ? FHeight - 1 - Row : Row;
  void* P = FFileBuffer->Map(FAccess, int64_t(Physical) * FRowLen, FRowLen);
  FLockedPtr.push_back(P);
  FLockedRow.push_back(Row);
  return static_cast<uint8_t*>(P);
}

void TIEBitmap::UnlockScanline(int32_t Row) {
  if (FLocation != ieFile) return;
  for (size_t I = 0; I < FLockedRow.size(); ++I) {
    if (FLockedRow[I] == Row) {
      void* P = FLockedPtr[I];
      FLockedRow.erase(FLockedRow.begin() + ptrdiff_t(I));
      FLockedPtr.erase(FLockedPtr.begin() + ptrdiff_t(I));
      FFileBuffer->UnMap(P);
      return;
    }
  }
}

// ---------------------------------------------------------------------------
// Palette

TRGB* TIEBitmap::GetPalette() { return FPalette.get(); }

TRGB TIEBitmap::GetPaletteColor(int32_t Index) const {
  if (Index < 0 || Index >= FPaletteLen || !FPalette) return TRGB();
  return FPalette[size_t(Index)];
}

void TIEBitmap::SetPaletteColor(int32_t Index, const TRGB& Color) {
  if (Index < 0 || Index >= FPaletteLen || !FPalette) return;
  FPalette[size_t(Index)] = Color;
  if (FLocation == ieTBitmap && FTBitmap != nullptr && FTBitmap->GetPixelFormat() == pf8bit) {
    TRGBQuad Q;
    Q.rgbRed = Color.r;
    Q.rgbGreen = Color.g;
    Q.rgbBlue = Color.b;
    FTBitmap->SetColorTableEntry(Index, Q);
  }
}

int32_t TIEBitmap::GetPaletteLen() const { return FPaletteLen; }

void TIEBitmap::CopyPaletteTo(TIEBaseBitmap* Dest) {
  if (Dest == nullptr || Dest == this) return;
  auto* D = dynamic_cast<TIEBitmap*>(Dest);
  if (D == nullptr) {
    for (int32_t I = 0; I < FPaletteLen && I < Dest->GetPaletteLen(); ++I)
      Dest->SetPaletteColor(I, FPalette[size_t(I)]);
    return;
  }
  D->FPalette.reset();
  D->FPaletteLen = 0;
  D->FPaletteUsed = 256;
  if (FPaletteLen > 0 && FPalette) {
    D->FPalette.reset(new (std::nothrow) TRGB[size_t(FPaletteLen)]);
    if (!D->FPalette) return;
    std::copy(FPalette.get(), FPalette.get() + FPaletteLen, D->FPalette.get());
    D->FPaletteLen = FPaletteLen;
    D->FPaletteUsed = FPaletteUsed;
  }
  if (D->FLocation == ieTBitmap && D->FTBitmap != nullptr &&
      D->FTBitmap->GetPixelFormat() == pf8bit && D->FPaletteLen > 0) {
    std::vector<TRGBQuad> T(size_t(D->FPaletteLen));
    for (int32_t I = 0; I < D->FPaletteLen; ++I) {
      T[size_t(I)].rgbRed = D->FPalette[size_t(I)].r;
      T[size_t(I)].rgbGreen = D->FPalette[size_t(I)].g;
      T[size_t(I)].rgbBlue = D->FPalette[size_t(I)].b;
    }
    D->FTBitmap->SetColorTable(T);
  }
}

int32_t TIEBitmap::GetChannelOffset(int32_t Index) const {
  return Index >= 0 && Index < 4 ? FChannelOffset[Index] : 0;
}

void TIEBitmap::SetChannelOffset(int32_t Index, int32_t Value) {
  if (Index >= 0 && Index < 4) FChannelOffset[Index] = Value;
}

// ---------------------------------------------------------------------------
// Alpha plane

TIEBitmap* TIEBitmap::GetAlphaChannel() {
  if (FIsAlphaChannel) return nullptr;
  if (!FAlphaChannel) FAlphaChannel = CreateAlphaPlane(GetWidth(), GetHeight(), FLocation);
  return FAlphaChannel.get();
}

void TIEBitmap::AttachAlphaChannel(std::unique_ptr<TIEBitmap> Alpha) {
  if (FIsAlphaChannel) return;  // an alpha plane has no plane of its own
  if (Alpha) Alpha->FIsAlphaChannel = true;
  FAlphaChannel = std::move(Alpha);
}

std::unique_ptr<TIEBitmap> TIEBitmap::DetachAlphaChannel() { return std::move(FAlphaChannel); }

void TIEBitmap::RemoveAlphaChannel(bool Merge, TColor Background) {
  if (FIsAlphaChannel || !FAlphaChannel) return;
  if (Merge && GetPixelFormat() == ie24RGB && FAlphaChannel->GetPixelFormat() == ie8g &&
      FAlphaChannel->GetWidth() == FWidth && FAlphaChannel->GetHeight() == FHeight) {
    TRGB Bg = IEColorToRGB(Background);
    const int32_t BgC[3] = {Bg.b, Bg.g, Bg.r};
    for (int32_t Y = 0; Y < FHeight; ++Y) {
      uint8_t* Row = GetScanline(Y);
      const uint8_t* A = FAlphaChannel->GetScanline(Y);
      for (int32_t X = 0; X < FWidth; ++X) {
        int32_t Alpha = A[X];
        for (int C = 0; C < 3; ++C) {
          int32_t D = ((int32_t(Row[3 * X + C]) - BgC[C]) * (Alpha << 10)) >> 18;
          Row[3 * X + C] = uint8_t(BgC[C] + D);
        }
      }
    }
  }
  FAlphaChannel.reset();
}

uint8_t TIEBitmap::GetAlpha(int32_t X, int32_t Y) {
  if (FIsAlphaChannel) return GetPixel8(X, Y);
  TIEBitmap* A = GetAlphaChannel();
  return A != nullptr ? A->GetPixel8(X, Y) : 0;
}

void TIEBitmap::SetAlpha(int32_t X, int32_t Y, uint8_t Value) {
  if (FIsAlphaChannel) {
    SetPixel8(X, Y, Value);
    return;
  }
  TIEBitmap* A = GetAlphaChannel();
  if (A == nullptr) return;
  A->SetPixel8(X, Y, Value);
  if (Value != 255) FFull = false;
}

void TIEBitmap::UpdateFullFlag() {
  int32_t W = GetWidth(), H = GetHeight();
  int64_t Len = IEBitmapRowLen(W, FBitCount, 8);
  bool Full = !IsEmpty() && Len > 0;
  for (int32_t Y = 0; Full && Y < H; ++Y) {
    const uint8_t* Row = GetScanline(Y);
    for (int64_t I = 0; I < Len; ++I)
      if (Row[I] != 255) {
        Full = false;
        break;
      }
  }
  FFull = Full;
}

void TIEBitmap::MergeAlphaRectTo(TIEBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DstX,
                                 int32_t DstY, int32_t Width, int32_t Height) {
  if (Dest == nullptr || Dest == this) return;
  TIEBitmap* SA = GetAlphaChannel();
  TIEBitmap* DA = Dest->GetAlphaChannel();
  if (SA == nullptr || DA == nullptr || SA->GetPixelFormat() != ie8g ||
      DA->GetPixelFormat() != ie8g)
    return;
  int64_t SX = SrcX, SY = SrcY, DX = DstX, DY = DstY, W = Width, H = Height;
  if (!ClipCopyRect(SA->GetWidth(), SA->GetHeight(), DA->GetWidth(), DA->GetHeight(), SX, SY, DX,
                    DY, W, H))
    return;
  for (int64_t Y = 0; Y < H; ++Y) {
    const uint8_t* S = SA->GetScanline(int32_t(SY + Y)) + SX;
    uint8_t* D = DA->GetScanline(int32_t(DY + Y)) + DX;
    for (int64_t X = 0; X < W; ++X) D[X] = std::max(D[X], S[X]);
  }
  DA->FFull = false;
}

// ---------------------------------------------------------------------------
// Copying and wrapping

void TIEBitmap::CopyRowsFrom(TIEBitmap* Source) {
  int64_t Len = std::min(FRowLen, Source->GetRowLen());
  int32_t H = std::min(FHeight, Source->GetHeight());
  if (Len <= 0) return;
  TIEDataAccessSet SaveSource = Source->FAccess, SaveThis = FAccess;
  Source->FAccess = iedRead;
  FAccess = Len == FRowLen ? TIEDataAccessSet(iedWrite) : iedReadWrite;
  if (FLocation == ieFile && Source->FLocation == ieFile && Len == FRowLen &&
      Len == Source->FRowLen && H == FHeight && H == Source->FHeight && FRowOrder == 0 &&
      Source->FRowOrder == 0 && Source->FLockedPtr.empty() && FLockedPtr.empty()) {
    Source->ReleaseMappedRow();
    ReleaseMappedRow();
    Source->FFileBuffer->CopyTo(FFileBuffer.get(), FRowLen * int64_t(FHeight), 0);
  } else {
    for (int32_t Y = 0; Y < H; ++Y) {
      uint8_t* D = GetScanline(Y);
      const uint8_t* S = Source->GetScanline(Y);
      if (D != nullptr && S != nullptr) std::memcpy(D, S, size_t(Len));
    }
    // Leave nothing mapped with the temporary modes.
    if (FLocation == ieFile) ReleaseMappedRow();
    if (Source->FLocation == ieFile) Source->ReleaseMappedRow();
  }
  Source->FAccess = SaveSource;
  FAccess = SaveThis;
}

void TIEBitmap::Assign(TObject* Source) {
  if (Source == nullptr || Source == this) return;
  if (auto* S = dynamic_cast<TIEBitmap*>(Source)) {
    AssignFrom(S, true);
    return;
  }
  if (auto* T = dynamic_cast<TBitmap*>(Source)) AssignTBitmap(T);
}

void TIEBitmap::AssignImage(TIEBitmap* Source) {
  if (Source == nullptr || Source == this || Source->IsEmpty()) return;
  std::unique_ptr<TIEBitmap> OwnAlpha = std::move(FAlphaChannel);
  uint8_t Mono = FMonoConversion;
  AssignFrom(Source, false);
  FAlphaChannel = std::move(OwnAlpha);
  FMonoConversion = Mono;
  FFull = false;
}

void TIEBitmap::AssignFrom(TIEBitmap* Source, bool WithAlpha) {
  FReAllocate = true;
  TIEPixelFormat SF = Source->GetPixelFormat();
  if (FLocation == ieTBitmap) {
    if (Source->IsEmpty()) return;
    if (!IEFormatFitsTBitmap(SF)) {
      // Formats a platform bitmap cannot hold are converted, not byte-copied.
      TIEBitmap Converted;
      Converted.FLocation = ieMemory;
      if (!Converted.ConvertForTBitmap(Source)) return;
      Converted.FFull = Source->FFull;
      Converted.FMonoConversion = Source->FMonoConversion;
      Converted.FPaletteUsed = Source->FPaletteUsed;
      if (WithAlpha && Source->HasAlphaChannel())
        Converted.FAlphaChannel = CloneAlpha(Source->FAlphaChannel.get());
      AssignFrom(&Converted, WithAlpha);
      return;
    }
    FAlphaChannel.reset();
    FWidth = Source->FWidth;
    FHeight = Source->FHeight;
    FPixelFormat = SF;
    FFull = Source->FFull;
    UpdateDerivedFields();
    bool Ok = false;
    try {
      Ok = FRowLen > 0 && FRowLen <= INT64_MAX / FHeight && AllocateTBitmap(FRowLen * FHeight);
    } catch (...) {
      Ok = false;
    }
    if (!Ok) {
      FreeImage(true);
      return;
    }
  } else {
    FreeImage(true);
    FWidth = Source->FWidth;
    FHeight = Source->FHeight;
    FPixelFormat = SF;
    FRowAlignment = Source->FRowAlignment;
    bool Ok = false;
    try {
      Ok = AllocateImage();
    } catch (...) {
      Ok = false;
    }
    FReAllocate = true;
    if (!Ok) {
      FreeImage(true);
      return;
    }
  }
  CopyRowsFrom(Source);
  if (WithAlpha && !FIsAlphaChannel) {
    if (Source->HasAlphaChannel()) {
      TIEBitmap* A = GetAlphaChannel();
      if (A != nullptr) A->Assign(Source->FAlphaChannel.get());
    } else {
      FAlphaChannel.reset();
    }
  }
  Source->CopyPaletteTo(this);
  FMonoConversion = Source->FMonoConversion;
}

std::unique_ptr<TIEBitmap> TIEBitmap::CloneAlpha(TIEBitmap* Alpha) {
  auto Copy = std::make_unique<TIEBitmap>();
  Copy->FIsAlphaChannel = true;
  Copy->Assign(Alpha);
  Copy->FFull = Alpha->FFull;
  return Copy;
}

namespace {
TIEPixelConversion& InstalledConversion() {
  static TIEPixelConversion Conversion;
  return Conversion;
}
}  // namespace

void IEInstallPixelConversion(const TIEPixelConversion& Conversion) { InstalledConversion() = Conversion; }

void TIEBitmap::SetPixelFormat(TIEPixelFormat PixelFormat) {
  if (PixelFormat != GetPixelFormat()) ConvertToPixelFormat(PixelFormat);
}

void TIEBitmap::ConvertToPixelFormat(TIEPixelFormat PixelFormat) {
  if (auto Convert = InstalledConversion().ConvertToPixelFormat) Convert(this, PixelFormat);
}

void TIEBitmap::ConvertFrom(TIEBitmap* Source) {
  if (auto Convert = InstalledConversion().ConvertFrom) Convert(this, Source);
}

bool TIEBitmap::ConvertForTBitmap(TIEBitmap* Source) {
  // The nearest format a platform bitmap holds, by the conversion rules.
  if (!Allocate(Source->GetWidth(), Source->GetHeight(),
                TBitmapTargetFormat(Source->GetPixelFormat())))
    return false;
  if (auto Convert = InstalledConversion().ConvertPixels) Convert(this, Source);
  return true;
}

void TIEBitmap::MoveContentTo(TIEBitmap* Dest) {
  if (Dest == nullptr || Dest == this) return;
  Dest->FreeImage(true);
  Dest->FWidth = FWidth;
  Dest->FHeight = FHeight;
  Dest->FBitCount = FBitCount;
  Dest->FChannelCount = FChannelCount;
  Dest->FRowLen = FRowLen;
  Dest->FPixelFormat = FPixelFormat;
  Dest->FPixelBase = FPixelBase;
  Dest->FRawBlock = FRawBlock;
  Dest->FSegments = std::move(FSegments);
  Dest->FRowsPerSegment = FRowsPerSegment;
  Dest->FPalette = std::move(FPalette);
  Dest->FPaletteLen = FPaletteLen;
  Dest->FAlphaChannel = std::move(FAlphaChannel);
  Dest->FIsAlphaChannel = FIsAlphaChannel;
  Dest->FTBitmap = FTBitmap;
  Dest->FOwnedTBitmap = std::move(FOwnedTBitmap);
  Dest->FScanlineTable = std::move(FScanlineTable);
  Dest->FLocation = FLocation;
  Dest->FFull = FFull;
  Dest->FExternalTBitmap = FExternalTBitmap;
  Dest->FExternalMemory = FExternalMemory;
  Dest->FRowOrder = FRowOrder;
  Dest->FFileBuffer = std::move(FFileBuffer);
  Dest->FMappedRow = FMappedRow;
  Dest->FLockedPtr = std::move(FLockedPtr);
  Dest->FLockedRow = std::move(FLockedRow);
  Dest->FMonoConversion = FMonoConversion;
  Dest->FRowAlignment = FRowAlignment;
  Dest->FAllocatorKind = FAllocatorKind;

  FFileBuffer = std::make_unique<TIEFileBuffer>();
  FMappedRow = nullptr;
  FSegments.clear();
  FRowsPerSegment = 0;
  FPaletteLen = 0;
  FPixelBase = nullptr;
  FRawBlock = nullptr;
  FTBitmap = nullptr;
  FScanlineTable.clear();
  FLockedPtr.clear();
  FLockedRow.clear();
  FWidth = FHeight = 0;
  FBitCount = FChannelCount = 0;
  FRowLen = 0;
  FReAllocate = true;
  FFull = false;
  FExternalTBitmap = false;
  FExternalMemory = false;
  FRowOrder = 0;
}

void TIEBitmap::CopyRectTo(TIEBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DstX,
                           int32_t DstY, int32_t Width, int32_t Height) {
  if (Dest == nullptr || IsEmpty() || Dest->IsEmpty()) return;
  int64_t SX = SrcX, SY = SrcY, DX = DstX, DY = DstY, W = Width, H = Height;
  if (!ClipCopyRect(FWidth, FHeight, Dest->FWidth, Dest->FHeight, SX, SY, DX, DY, W, H)) return;
  if (Dest == this) {
    // Source and destination rows of one bitmap may not both stay mapped.
    TIEBitmap Temp;
    Temp.FLocation = ieMemory;
    if (!Temp.Allocate(int32_t(W), int32_t(H), FPixelFormat)) return;
    CopyRectTo(&Temp, int32_t(SX), int32_t(SY), 0, 0, int32_t(W), int32_t(H));
    Temp.CopyRectTo(this, 0, 0, int32_t(DX), int32_t(DY), int32_t(W), int32_t(H));
    return;
  }
  TIEPixelFormat SF = FPixelFormat, DF = Dest->FPixelFormat;
  int64_t SrcLen = FRowLen;
  if (SF == ie1g && DF == ie1g) {
    for (int64_t Y = 0; Y < H; ++Y) {
      const uint8_t* S = GetScanline(int32_t(SY + Y));
      uint8_t* D = Dest->GetScanline(int32_t(DY + Y));
      IECopyBits(D, S, DX, SX, W, SrcLen);
    }
  } else if (SF == ie1g && DF == ie24RGB) {
    for (int64_t Y = 0; Y < H; ++Y) {
      const uint8_t* S = GetScanline(int32_t(SY + Y));
      uint8_t* D = Dest->GetScanline(int32_t(DY + Y)) + 3 * DX;
      for (int64_t X = 0; X < W; ++X) {
        int64_t B = SX + X;
        uint8_t V = (S[B >> 3] & (0x80 >> (B & 7))) ? 255 : 0;
        D[3 * X] = D[3 * X + 1] = D[3 * X + 2] = V;
      }
    }
  } else if (SF == DF && SF != ie1g && SF != ieNoFormat) {
    int64_t Bpp = FBitCount / 8;
    for (int64_t Y = 0; Y < H; ++Y) {
      const uint8_t* S = GetScanline(int32_t(SY + Y));
      uint8_t* D = Dest->GetScanline(int32_t(DY + Y));
      std::memcpy(D + DX * Bpp, S + SX * Bpp, size_t(W * Bpp));
    }
  }
}

void TIEBitmap::MoveRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t DstX,
                         int32_t DstY, double FillValue, bool DoFill) {
  if (IsEmpty()) return;
  int64_t L = std::max<int64_t>(X1, 0), T = std::max<int64_t>(Y1, 0);
  int64_t R = std::min<int64_t>(X2, FWidth - 1), B = std::min<int64_t>(Y2, FHeight - 1);
  if (R < L || B < T) return;
  // The parts of the rectangle outside the bitmap shift the destination too.
  int64_t DX = int64_t(DstX) + (L - X1), DY = int64_t(DstY) + (T - Y1);
  TIEBitmap Temp;
  Temp.FLocation = FLocation == ieFile ? ieFile : ieMemory;
  if (!Temp.Allocate(int32_t(R - L + 1), int32_t(B - T + 1), FPixelFormat)) return;
  CopyRectTo(&Temp, int32_t(L), int32_t(T), 0, 0, int32_t(R - L + 1), int32_t(B - T + 1));
  if (DoFill) FillRect(int32_t(L), int32_t(T), int32_t(R), int32_t(B), FillValue);
  if (DX > INT32_MAX || DY > INT32_MAX) return;
  Temp.CopyRectTo(this, 0, 0, int32_t(std::max<int64_t>(DX, INT32_MIN)),
                  int32_t(std::max<int64_t>(DY, INT32_MIN)), int32_t(R - L + 1), int32_t(B - T + 1));
}

void TIEBitmap::AttachTBitmap(TBitmap* Bitmap, bool FreeFirst) {
  if (Bitmap != nullptr && Bitmap == FOwnedTBitmap.get()) {
    // Already this bitmap's own storage.
    SyncWithTBitmap();
    return;
  }
  if (FreeFirst) FreeImage(true);
  if (Bitmap == nullptr) return;
  TPixelFormat PF = Bitmap->GetPixelFormat();
  TIEPixelFormat Derived = PF == pf1bit ? ie1g : (PF == pf8bit || PF == pf4bit) ? ie8p : ie24RGB;
  if (Bitmap == FTBitmap && FLocation == ieTBitmap && Bitmap->GetWidth() == FWidth &&
      Bitmap->GetHeight() == FHeight && Derived == FPixelFormat)
    return;
  if (!FreeFirst && Bitmap != FTBitmap) ReleasePixelStorage();
  FOwnedTBitmap.reset();
  FTBitmap = Bitmap;
  FExternalTBitmap = true;
  FLocation = ieTBitmap;
  // The rows must be readable as buffer rows: the platform formats without a
  // buffer counterpart become 24-bit.
  if (PF != pf1bit && PF != pf8bit && PF != pf24bit && PF != pf32bit)
    Bitmap->SetPixelFormat(pf24bit);
  FWidth = FHeight = -1;  // force the refresh below
  SyncWithTBitmap();
}

void TIEBitmap::ReleasePixelStorage() {
  if (FFileBuffer) {
    try {
      ReleaseMappedRow();
    } catch (...) {
    }
    FMappedRow = nullptr;
    try {
      FFileBuffer->Close();
    } catch (...) {
      FFileBuffer = std::make_unique<TIEFileBuffer>();
    }
  }
  FLockedPtr.clear();
  FLockedRow.clear();
  if (FRawBlock != nullptr && !FExternalMemory) IEFreeLarge(FRawBlock);
  FRawBlock = nullptr;
  FPixelBase = nullptr;
  if (!FExternalTBitmap) FOwnedTBitmap.reset();
  FTBitmap = nullptr;
  FScanlineTable.clear();
  for (void*& S : FSegments) IEGlobalFreeAndNil(S);
  FSegments.clear();
  FRowsPerSegment = 0;
  FExternalTBitmap = false;
  FExternalMemory = false;
  FRowOrder = 0;
}

void TIEBitmap::AttachMemory(void* Data, int32_t Width, int32_t Height,
                             TIEPixelFormat PixelFormat, bool FreeFirst, uint8_t RowOrder) {
  if (FreeFirst) FreeImage(true);
  if (Data == nullptr) return;
  if (Width < 1 || Height < 1 || PixelFormat == ieNoFormat ||
      uint8_t(PixelFormat) >= IEPixelFormatCount)
    return;
  if (!FreeFirst) ReleasePixelStorage();
  FWidth = Width;
  FHeight = Height;
  FPixelFormat = PixelFormat;
  FLocation = ieMemory;
  UpdateDerivedFields();
  FExternalMemory = true;
  FPixelBase = static_cast<uint8_t*>(Data);
  FRawBlock = Data;
  FRowOrder = RowOrder == 1 ? 1 : 0;
  if (PixelFormat == ie8p && !FPalette) {
    FPalette.reset(new (std::nothrow) TRGB[256]());
    FPaletteLen = FPalette ? 256 : 0;
  }
}

void TIEBitmap::AssignTBitmap(TBitmap* Source) {
  if (Source == nullptr || Source == FTBitmap) return;
  FReAllocate = true;
  TPixelFormat PF = Source->GetPixelFormat();
  if (FLocation == ieTBitmap) {
    if (FTBitmap == nullptr) {
      FOwnedTBitmap = std::make_unique<TBitmap>();
      FTBitmap = FOwnedTBitmap.get();
    }
    IECopyTBitmap(Source, FTBitmap);
    // Formats other than 1-, 24- and 32-bit become 24-bit in the copy; the
    // caller's bitmap stays as it is.
    if (PF != pf1bit && PF != pf24bit && PF != pf32bit) FTBitmap->SetPixelFormat(pf24bit);
    FWidth = FHeight = -1;
    SyncWithTBitmap();
    FFull = false;
    return;
  }
  int32_t W = Source->GetWidth(), H = Source->GetHeight();
  if (W <= 0 || H <= 0) return;
  TIEPixelFormat Target;
  bool Mono = false;
  switch (PF) {
    case pf1bit:
      Mono = IsBlackWhiteTable(Source);
      Target = Mono ? ie1g : ie8p;
      break;
    case pf8bit:
      Target = ie8p;
      break;
    case pf15bit:
    case pf16bit:
    case pf24bit:
      Target = ie24RGB;
      break;
    case pf32bit:
      Target = ie32RGB;
      break;
    default:
      return;
  }
  if (!Allocate(W, H, Target)) return;
  if (Target == ie8p) {
    int32_t N = std::min(Source->GetColorTableSize(), 256);
    for (int32_t I = 0; I < 256; ++I) {
      TRGBQuad Q = I < N ? Source->GetColorTableEntry(I) : TRGBQuad();
      FPalette[size_t(I)] = IECreateRGB(Q.rgbRed, Q.rgbGreen, Q.rgbBlue);
    }
  }
  int64_t SrcLen = Source->GetBytesPerLine();
  for (int32_t Y = 0; Y < H; ++Y) {
    const uint8_t* S = Source->GetScanLine(Y);
    uint8_t* D = GetScanline(Y);
    if (S == nullptr || D == nullptr) continue;
    if (PF == pf1bit && !Mono) {
      for (int32_t X = 0; X < W; ++X) D[X] = (S[X >> 3] & (0x80 >> (X & 7))) ? 1 : 0;
    } else if (PF == pf15bit || PF == pf16bit) {
      for (int32_t X = 0; X < W; ++X) {
        uint32_t P = uint32_t(S[2 * X]) | (uint32_t(S[2 * X + 1]) << 8);
        uint8_t R, G, B;
        // The 5- and 6-bit fields are widened by repeating their top bits,
        // so full intensity stays 255 (white stays white).
        uint32_t R5 = PF == pf15bit ? (P >> 10) & 31 : (P >> 11) & 31;
        uint32_t B5 = P & 31;
        uint32_t G8;
        if (PF == pf15bit) {
          uint32_t G5 = (P >> 5) & 31;
          G8 = (G5 << 3) | (G5 >> 2);
        } else {
          uint32_t G6 = (P >> 5) & 63;
          G8 = (G6 << 2) | (G6 >> 4);
        }
        R = uint8_t((R5 << 3) | (R5 >> 2));
        G = uint8_t(G8);
        B = uint8_t((B5 << 3) | (B5 >> 2));
        D[3 * X] = B;
        D[3 * X + 1] = G;
        D[3 * X + 2] = R;
      }
    } else {
      std::memcpy(D, S, size_t(std::min(SrcLen, FRowLen)));
    }
  }
  FFull = false;
}

// ---------------------------------------------------------------------------
// Location, alignment, width and height

void TIEBitmap::SetLocation(TIELocation Value) {
  if (Value == FLocation || uint8_t(Value) > uint8_t(ieTBitmap)) return;
  FReAllocate = true;
  if (IsEmpty()) {
    FreeImage(true);
    FLocation = Value;
    if (Value == ieTBitmap) {
      // An empty platform bitmap, so that callers always get one to work on.
      FOwnedTBitmap = std::make_unique<TBitmap>();
      FTBitmap = FOwnedTBitmap.get();
    }
    return;
  }
  TIEBitmap Temp;
  MoveContentTo(&Temp);
  bool Full = Temp.FFull;
  FLocation = Value;
  TIEPixelFormat Target =
      Value == ieTBitmap ? TBitmapTargetFormat(Temp.FPixelFormat) : Temp.FPixelFormat;
  if (!Allocate(Temp.FWidth, Temp.FHeight, Target)) {
    // The image stays where it was.
    Temp.MoveContentTo(this);
    FReAllocate = true;
    return;
  }
  if (FLocation == Temp.FLocation) {
    Temp.MoveContentTo(this);
    FReAllocate = true;
    return;
  }
  if (Target != Temp.FPixelFormat) {
    TIEBitmap Converted;
    Converted.FLocation = ieMemory;
    if (!Converted.ConvertForTBitmap(&Temp)) {
      FreeImage(true);
      FLocation = Temp.FLocation;
      Temp.MoveContentTo(this);
      return;
    }
    CopyRowsFrom(&Converted);
  } else {
    CopyRowsFrom(&Temp);
    Temp.CopyPaletteTo(this);
  }
  FAlphaChannel = std::move(Temp.FAlphaChannel);
  FIsAlphaChannel = Temp.FIsAlphaChannel;
  FFull = Full;
  FReAllocate = true;
}

TBitmap* TIEBitmap::GetTBitmap() {
  SetLocation(ieTBitmap);
  if (FLocation != ieTBitmap) return nullptr;
  if (FTBitmap == nullptr) {
    FOwnedTBitmap = std::make_unique<TBitmap>();
    FTBitmap = FOwnedTBitmap.get();
  }
  return FTBitmap;
}

TCanvas* TIEBitmap::GetCanvas() {
  TBitmap* B = GetTBitmap();
  return B != nullptr ? B->GetCanvas() : nullptr;
}

void TIEBitmap::SetRowAlignment(int32_t Bits) {
  if (Bits == FRowAlignment) return;
  if (Bits < 8 || Bits % 8 != 0) return;
  FReAllocate = true;
  // Without pixels the alignment simply applies to the next allocation.
  if (FLocation != ieTBitmap && IsEmpty()) {
    FRowAlignment = Bits;
    return;
  }
  if (FLocation != ieMemory) return;
  FRowAlignment = Bits;
  TIEBitmap Temp;
  MoveContentTo(&Temp);
  bool Full = Temp.FFull;
  if (!Allocate(Temp.FWidth, Temp.FHeight, Temp.FPixelFormat)) {
    FRowAlignment = Temp.FRowAlignment;
    Temp.MoveContentTo(this);
    return;
  }
  CopyRowsFrom(&Temp);
  Temp.CopyPaletteTo(this);
  FAlphaChannel = std::move(Temp.FAlphaChannel);
  FFull = Full;
  FReAllocate = true;
}

void TIEBitmap::ResizeOneSide(int32_t NewWidth, int32_t NewHeight) {
  if (NewWidth < 1 || NewHeight < 1) {
    FreeImage(true);
    return;
  }
  if (FLocation == ieTBitmap) {
    if (FTBitmap == nullptr) {
      FOwnedTBitmap = std::make_unique<TBitmap>();
      FTBitmap = FOwnedTBitmap.get();
    }
    if (FAlphaChannel) FAlphaChannel->ResizeOneSide(NewWidth, NewHeight);
    FTBitmap->SetSize(NewWidth, NewHeight);  // keeps the pixels that still fit
    SyncWithTBitmap();
    FFull = false;
    return;
  }
  if (FPixelFormat == ieNoFormat || IsEmpty()) {
    FWidth = NewWidth;
    FHeight = NewHeight;
    return;
  }
  TIEBitmap Temp;
  MoveContentTo(&Temp);
  if (!Allocate(NewWidth, NewHeight, Temp.FPixelFormat)) {
    Temp.MoveContentTo(this);  // the image stays as it was
    return;
  }
  CopyRowsFrom(&Temp);
  Temp.CopyPaletteTo(this);
  FAlphaChannel = std::move(Temp.FAlphaChannel);
  if (FAlphaChannel) {
    FAlphaChannel->ResizeOneSide(NewWidth, NewHeight);
    FAlphaChannel->FFull = false;
  }
  FFull = false;
}

void TIEBitmap::SetWidth(int32_t NewWidth) {
  if (NewWidth == GetWidth()) return;
  ResizeOneSide(NewWidth, GetHeight());
}

void TIEBitmap::SetHeight(int32_t NewHeight) {
  if (NewHeight == GetHeight()) return;
  ResizeOneSide(GetWidth(), NewHeight);
}

void TIEBitmap::Resize(int32_t NewWidth, int32_t NewHeight, double Background, int32_t Alpha,
                       int32_t HAlign, int32_t VAlign) {
  if (IsEmpty() || NewWidth < 1 || NewHeight < 1) return;
  const int32_t W = FWidth, H = FHeight;
  TIEBitmap* Planes[2] = {this, FAlphaChannel.get()};
  const double Values[2] = {Background, double(Alpha)};
  // Shrinking: the kept columns and rows move to the origin.
  for (int P = 0; P < 2; ++P) {
    TIEBitmap* B = Planes[P];
    if (B == nullptr) continue;
    if (NewWidth < W) {
      int32_t From = HAlign == 1 ? (W - NewWidth) / 2 : HAlign == 2 ? W - NewWidth : 0;
      if (From > 0) B->MoveRect(From, 0, From + NewWidth - 1, H - 1, 0, 0, Values[P], true);
    }
    if (NewHeight < H) {
      int32_t From = VAlign == 1 ? (H - NewHeight) / 2 : VAlign == 2 ? H - NewHeight : 0;
      if (From > 0) B->MoveRect(0, From, W - 1, From + NewHeight - 1, 0, 0, Values[P], true);
    }
  }
  // The new size (the alpha plane follows).
  SetWidth(NewWidth);
  SetHeight(NewHeight);
  if (IsEmpty()) return;
  Planes[1] = FAlphaChannel.get();
  // Growing: the new area is filled, then the old content moves into place.
  for (int P = 0; P < 2; ++P) {
    TIEBitmap* B = Planes[P];
    if (B == nullptr) continue;
    const int32_t KeptH = std::min(H, NewHeight);
    if (W < NewWidth) {
      B->FillRect(W, 0, NewWidth - 1, NewHeight - 1, Values[P]);
      int32_t Shift = HAlign == 1 ? (NewWidth - W) / 2 : HAlign == 2 ? NewWidth - W : 0;
      if (Shift > 0) B->MoveRect(0, 0, W - 1, KeptH - 1, Shift, 0, Values[P], true);
    }
    if (H < NewHeight) {
      B->FillRect(0, H, NewWidth - 1, NewHeight - 1, Values[P]);
      int32_t Shift = VAlign == 1 ? (NewHeight - H) / 2 : VAlign == 2 ? NewHeight - H : 0;
      if (Shift > 0) B->MoveRect(0, 0, NewWidth - 1, H - 1, 0, Shift, Values[P], true);
    }
  }
}

// ---------------------------------------------------------------------------
// Filling

void TIEBitmap::Fill(double Value) {
  if (IsEmpty()) return;
  FillRowBytes(0, 0, FWidth - 1, FHeight - 1, Value, true);
}

void TIEBitmap::FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Value) {
  if (IsEmpty()) return;
  X1 = std::max(X1, 0);
  Y1 = std::max(Y1, 0);
  X2 = std::min(X2, FWidth - 1);
  Y2 = std::min(Y2, FHeight - 1);
  if (X2 < X1 || Y2 < Y1) return;
  FillRowBytes(X1, Y1, X2, Y2, Value, false);
}

void TIEBitmap::FillRowBytes(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Value,
                             bool WholeImage) {
  const int64_t V = TruncSat64(Value);
  const TIEPixelFormat F = FPixelFormat;
  const int64_t N = int64_t(X2) - X1 + 1;
  // A pixel pattern of the colour formats.
  uint8_t Pattern[6] = {0, 0, 0, 0, 0, 0};
  int32_t Bpp = FBitCount / 8;
  bool White = false;
  if (F == ie24RGB || F == ieCMYK || F == ieRGB48 || F == ieCIELab || F == ie32RGB) {
    TRGB C = IEColorToRGB(TColor(uint32_t(uint64_t(V))));
    White = C.r == 255 && C.g == 255 && C.b == 255;
    if (F == ie24RGB || F == ie32RGB) {
      std::memcpy(Pattern, &C, 3);
    } else if (F == ieCMYK) {
      TCMYK K = IERgbToCmykPixel(C);
      std::memcpy(Pattern, &K, 4);
    } else if (F == ieRGB48) {
      TRGB48 W;
      W.r = uint16_t(C.r * 257);
      W.g = uint16_t(C.g * 257);
      W.b = uint16_t(C.b * 257);
      std::memcpy(Pattern, &W, 6);
    } else {
      TCIELab L = IERGBToCIELab(C);
      std::memcpy(Pattern, &L, 3);
    }
  } else if (F == ie16g) {
    uint16_t W = uint16_t(V);
    std::memcpy(Pattern, &W, 2);
  } else if (F == ie32f) {
    // Fill takes the value as it is; FillRect whole numbers only.  Both are
    // kept within 0..1.
    float S = WholeImage ? ClampUnit(Value) : ClampUnit(double(V));
    std::memcpy(Pattern, &S, 4);
    White = S == 1.0f;
  }
  // Whole rows of the byte formats are written without reading them first.
  const bool WholeRows = WholeImage && (F == ie1g || F == ie8p || F == ie8g);
  TIEDataAccessSet Save = FAccess;
  FAccess = WholeRows ? TIEDataAccessSet(iedWrite) : iedReadWrite;
  for (int32_t Y = Y1; Y <= Y2; ++Y) {
    uint8_t* Row = GetScanline(Y);
    if (Row == nullptr) continue;
    switch (F) {
      case ie1g:
        if (WholeImage) {
          std::memset(Row, V != 0 ? 255 : 0, size_t(FRowLen));
        } else {
          for (int64_t X = X1; X <= X2; ++X) {
            if (V != 0)
              Row[X >> 3] |= uint8_t(0x80 >> (X & 7));
            else
              Row[X >> 3] &= uint8_t(~(0x80 >> (X & 7)));
          }
        }
        break;
      case ie8p:
      case ie8g:
        if (WholeImage)
          std::memset(Row, uint8_t(V), size_t(FRowLen));
        else
          std::memset(Row + X1, uint8_t(V), size_t(N));
        break;
      case ie32RGB:
        for (int64_t X = X1; X <= X2; ++X) std::memcpy(Row + 4 * X, Pattern, 3);
        break;
      case ieNoFormat:
        break;
      default:
        for (int64_t X = X1; X <= X2; ++X) std::memcpy(Row + Bpp * X, Pattern, size_t(Bpp));
        break;
    }
  }
  if (FLocation == ieFile) ReleaseMappedRow();
  FAccess = Save;
  if (WholeImage) {
    switch (F) {
      case ie1g:
        FFull = V != 0;
        break;
      case ie8p:
      case ie8g:
        FFull = V == 255;
        break;
      case ie16g:
        FFull = V == 65535;
        break;
      case ieNoFormat:
        break;
      default:
        FFull = White;
        break;
    }
  }
}

// ---------------------------------------------------------------------------
// Pixels

uint8_t* TIEBitmap::PixelAddress(int32_t X, int32_t Y, int32_t BytesPerPixel) {
  if (X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return nullptr;
  if (int64_t(X) * BytesPerPixel + BytesPerPixel > FRowLen) return nullptr;
  uint8_t* Row = GetScanline(Y);
  return Row != nullptr ? Row + int64_t(X) * BytesPerPixel : nullptr;
}

uint8_t TIEBitmap::GetPixel8(int32_t X, int32_t Y) {
  uint8_t* P = PixelAddress(X, Y, 1);
  return P != nullptr ? *P : 0;
}

void TIEBitmap::SetPixel8(int32_t X, int32_t Y, uint8_t Value) {
  uint8_t* P = PixelAddress(X, Y, 1);
  if (P == nullptr) return;
  *P = Value;
  if (Value != 255) FFull = false;
}

uint16_t TIEBitmap::GetPixel16(int32_t X, int32_t Y) {
  uint8_t* P = PixelAddress(X, Y, 2);
  uint16_t V = 0;
  if (P != nullptr) std::memcpy(&V, P, 2);
  return V;
}

void TIEBitmap::SetPixel16(int32_t X, int32_t Y, uint16_t Value) {
  uint8_t* P = PixelAddress(X, Y, 2);
  if (P == nullptr) return;
  std::memcpy(P, &Value, 2);
  if (Value != 65535) FFull = false;
}

float TIEBitmap::GetPixelFloat(int32_t X, int32_t Y) {
  uint8_t* P = PixelAddress(X, Y, 4);
  float V = 0;
  if (P != nullptr) std::memcpy(&V, P, 4);
  return V;
}

void TIEBitmap::SetPixelFloat(int32_t X, int32_t Y, float Value) {
  uint8_t* P = PixelAddress(X, Y, 4);
  if (P == nullptr) return;
  float V = ClampUnit(Value);
  std::memcpy(P, &V, 4);
  if (!(V >= 1.0f)) FFull = false;
}

TCMYK TIEBitmap::GetPixel32(int32_t X, int32_t Y) {
  uint8_t* P = PixelAddress(X, Y, 4);
  TCMYK V;
  if (P != nullptr) std::memcpy(&V, P, 4);
  return V;
}

void TIEBitmap::SetPixel32(int32_t X, int32_t Y, const TCMYK& Value) {
  uint8_t* P = PixelAddress(X, Y, 4);
  if (P != nullptr) std::memcpy(P, &Value, 4);
}

TRGB TIEBitmap::GetPixel24(int32_t X, int32_t Y) {
  uint8_t* P = PixelAddress(X, Y, 3);
  TRGB V;
  if (P != nullptr) std::memcpy(&V, P, 3);
  return V;
}

void TIEBitmap::SetPixel24(int32_t X, int32_t Y, const TRGB& Value) {
  uint8_t* P = PixelAddress(X, Y, 3);
  if (P != nullptr) std::memcpy(P, &Value, 3);
}

TRGB48 TIEBitmap::GetPixel48(int32_t X, int32_t Y) {
  uint8_t* P = PixelAddress(X, Y, 6);
  TRGB48 V;
  if (P != nullptr) std::memcpy(&V, P, 6);
  return V;
}

void TIEBitmap::SetPixel48(int32_t X, int32_t Y, const TRGB48& Value) {
  uint8_t* P = PixelAddress(X, Y, 6);
  if (P == nullptr) return;
  std::memcpy(P, &Value, 6);
  if (Value.r != 65535 || Value.g != 65535 || Value.b != 65535) FFull = false;
}

TRGB* TIEBitmap::GetRGBPixelPtr(int32_t X, int32_t Y) {
  return reinterpret_cast<TRGB*>(PixelAddress(X, Y, 3));
}

TRGB TIEBitmap::GetPixelRGB(int32_t X, int32_t Y) {
  TIEPixelFormat F = GetPixelFormat();
  if (F == ieNoFormat || X < 0 || Y < 0 || X >= FWidth || Y >= FHeight) return TRGB();
  const uint8_t* Row = GetScanline(Y);
  if (Row == nullptr) return TRGB();
  return PixelRGBOfRow(F, Row, X, this);
}

// ---------------------------------------------------------------------------
// Queries

bool TIEBitmap::IsGrayscale() {
  TIEPixelFormat F = GetPixelFormat();
  if (F == ie8p) {
    for (int32_t I = 0; I < FPaletteLen; ++I) {
      const TRGB& P = FPalette[size_t(I)];
      if (P.r != P.g || P.g != P.b) return false;
    }
    return true;
  }
  if (F != ie24RGB && F != ieRGB48 && F != ie32RGB) return true;
  for (int32_t Y = 0; Y < FHeight; ++Y) {
    const uint8_t* Row = GetScanline(Y);
    if (Row == nullptr) continue;
    for (int32_t X = 0; X < FWidth; ++X) {
      if (F == ieRGB48) {
        TRGB48 W;
        std::memcpy(&W, Row + 6 * int64_t(X), 6);
        if (W.r != W.g || W.g != W.b) return false;
      } else {
        const uint8_t* P = Row + (F == ie24RGB ? 3 : 4) * int64_t(X);
        if (P[0] != P[1] || P[1] != P[2]) return false;
      }
    }
  }
  return true;
}

bool TIEBitmap::IsAllZero() {
  if (IsEmpty()) return true;
  int64_t Len = IEBitmapRowLen(FWidth, FBitCount, 8);
  for (int32_t Y = 0; Y < FHeight; ++Y) {
    const uint8_t* Row = GetScanline(Y);
    if (Row == nullptr) continue;
    for (int64_t I = 0; I < Len; ++I)
      if (Row[I] != 0) return false;
  }
  return true;
}
