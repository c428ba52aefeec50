#pragma once
// TIEBitmap: the pixel buffer of the whole library.
//
// One rectangular image of one of eleven pixel formats (pixel_types.h), an
// optional palette (256 entries for ie8p) and an optional separate 8-bit alpha
// plane.  The pixels live in one of three places:
//   ieMemory   one 64-byte aligned block stored last row first, or (when one
//              block cannot be had) segments stored first row first;
//   ieFile     a delete-on-close temporary file, first row first; only one row
//              is mapped at a time through GetScanline, and that pointer stays
//              valid only until the next GetScanline, LockScanline or FreeImage
//              on the same bitmap (code that needs several rows at once holds
//              them through TIERowLease, or uses two bitmaps);
//   ieTBitmap  a platform bitmap (TBitmap) that the views draw on; only ie1g,
//              ie8p, ie8g, ie24RGB and ie32RGB live there.
// ieMemory and ieFile are a preference that every allocation revisits: pixels
// go to memory when their size is below the memory threshold and to a file
// above it.  Rows are padded to the row alignment (32 bits by default); row 0
// is the top row whatever the storage.
//
// Allocation failures are reported by a false result and an empty buffer,
// never by an exception.  A bitmap is used by one thread at a time, except that
// several threads may read distinct rows through GetScanline at the same time
// when the bitmap is at ieMemory or ieTBitmap.
#include <cstdint>
#include <memory>
#include <vector>

#include "foundations/pixel_types.h"
#include "foundations/render_types.h"
#include "platform/gdi/colors.h"
#include "platform/rtl/object.h"

class TIEFileBuffer;
class TIEMask;
class TBitmap;
class TCanvas;
class TStream;
class TIEDibbitmap;
struct TRect;

// The abstract buffer shared with the DIB-section buffer: code that only reads
// rows takes a TIEBaseBitmap.
class TIEBaseBitmap : public TObject {
 public:
  TIEBaseBitmap() = default;
  ~TIEBaseBitmap() override;
  TIEBaseBitmap(const TIEBaseBitmap&) = delete;
  TIEBaseBitmap& operator=(const TIEBaseBitmap&) = delete;

  // Pointer to the first byte of row Row (row 0 is the top row).
  virtual uint8_t* GetScanline(int32_t Row) = 0;
  virtual int32_t GetBitCount() const = 0;
  virtual int32_t GetHeight() const = 0;
  virtual int32_t GetWidth() const = 0;
  virtual TIEPixelFormat GetPixelFormat() const = 0;
  // Bytes per row.
  virtual int64_t GetRowLen() const = 0;
  // The palette entries (blue, green, red) or null.
  virtual TRGB* GetPalette() = 0;
  virtual TRGB GetPaletteColor(int32_t Index) const = 0;
  virtual void SetPaletteColor(int32_t Index, const TRGB& Color) = 0;
  virtual int32_t GetPaletteLen() const = 0;
  virtual bool Allocate(int32_t Width, int32_t Height, TIEPixelFormat PixelFormat) = 0;
  virtual void Assign(TObject* Source) = 0;
  // Gives Dest a copy of this palette.
  virtual void CopyPaletteTo(TIEBaseBitmap* Dest) = 0;

  // Access mode: at ieFile it decides whether a mapped row is read from the
  // file (iedRead) and whether it is written back (iedWrite).
  TIEDataAccessSet GetAccess() const { return FAccess; }
  void SetAccess(TIEDataAccessSet Value) { FAccess = Value; }

 protected:
  TIEDataAccessSet FAccess = iedReadWrite;
};

class TIEBitmap : public TIEBaseBitmap {
 public:
  // Empty buffer; location ieFile (a preference), memory threshold from the
  // library settings and the physical memory.
  TIEBitmap();
  // An empty buffer, then Allocate(Width, Height, PixelFormat).
  TIEBitmap(int32_t Width, int32_t Height, TIEPixelFormat PixelFormat);
  ~TIEBitmap() override;

  static std::unique_ptr<TIEBitmap> CreateSized(int32_t Width, int32_t Height,
                                                TIEPixelFormat PixelFormat);
  // An ie8g plane flagged as alpha plane, allocated at Location (ieTBitmap
  // becomes ieMemory) and filled with 255.
  static std::unique_ptr<TIEBitmap> CreateAlphaPlane(int32_t Width, int32_t Height,
                                                     TIELocation Location);

  // ---- TIEBaseBitmap ----
  uint8_t* GetScanline(int32_t Row) override;
  int32_t GetBitCount() const override;
  int32_t GetHeight() const override;
  int32_t GetWidth() const override;
  TIEPixelFormat GetPixelFormat() const override;
  int64_t GetRowLen() const override;
  TRGB* GetPalette() override;
  // Black for an index outside the palette.
  TRGB GetPaletteColor(int32_t Index) const override;
  // Ignored outside the palette; at ieTBitmap the platform colour table follows.
  void SetPaletteColor(int32_t Index, const TRGB& Color) override;
  int32_t GetPaletteLen() const override;
  // Returns true at once (keeping the pixels) when size and format are
  // unchanged and no re-allocation is forced; otherwise frees and allocates.
  // Any failure answers false and leaves the buffer empty.
  bool Allocate(int32_t Width, int32_t Height, TIEPixelFormat PixelFormat) override;
  // A TIEBitmap (pixels, palette, alpha plane) or a platform TBitmap; other
  // classes are ignored.
  void Assign(TObject* Source) override;
  void Assign(TBitmap* Source) { AssignTBitmap(Source); }
  void CopyPaletteTo(TIEBaseBitmap* Dest) override;

  // ---- size and format ----
  int32_t GetChannelCount() const;
  bool IsEmpty() const;
  // Re-reads size and format from the platform bitmap (ieTBitmap only).
  void SyncWithTBitmap() const;
  // Releases the pixels, the palette and (when FreeAlpha) the alpha plane.
  // Location, memory threshold, format field and options stay.
  void FreeImage(bool FreeAlpha = true);
  // Change one dimension keeping the content anchored at the top-left; the
  // alpha plane follows.
  void SetWidth(int32_t NewWidth);
  void SetHeight(int32_t NewHeight);
  // Both dimensions; the old content placed by HAlign (0 left, 1 centre,
  // 2 right) and VAlign (0 top, 1 centre, 2 bottom); the new area gets
  // Background (see Fill) and the alpha plane, when present, Alpha.
  void Resize(int32_t NewWidth, int32_t NewHeight, double Background, int32_t Alpha,
              int32_t HAlign, int32_t VAlign);
  int32_t GetRowAlignment() const { return FRowAlignment; }
  // Applied at once at ieMemory; at ieFile and ieTBitmap the alignment stays.
  void SetRowAlignment(int32_t Bits);
  TIELocation GetLocation() const { return FLocation; }
  // Moves the pixels.  ieMemory and ieFile are preferences revisited by the
  // size rule; ieTBitmap is honoured (a format that cannot live there is
  // converted to the nearest one that can: ie16g and ie32f to ie8g, the others
  // to ie24RGB) or, when the allocation fails, the image stays where it was.
  void SetLocation(TIELocation Value);
  // Moves the pixels into a platform bitmap and answers it (null on failure).
  TBitmap* GetTBitmap();
  // The platform bitmap's canvas, after the same move (null on failure).
  TCanvas* GetCanvas();

  // In-place pixel-format conversion and conversion from another bitmap, by
  // the pixel-format conversion rules of the image operations (see
  // TIEPixelConversion below).
  void SetPixelFormat(TIEPixelFormat PixelFormat);
  void ConvertToPixelFormat(TIEPixelFormat PixelFormat);
  void ConvertFrom(TIEBitmap* Source);

  // ---- rows ----
  // A row pointer that stays valid until UnlockScanline(Row); one row per lock.
  uint8_t* LockScanline(int32_t Row);
  void UnlockScanline(int32_t Row);

  // ---- alpha plane ----
  // The alpha plane, created fully opaque on first call; null on an alpha plane.
  TIEBitmap* GetAlphaChannel();
  bool HasAlphaChannel() const { return FAlphaChannel != nullptr; }
  // Installs Alpha as the plane (it becomes an alpha plane); a previous plane
  // is freed.
  void AttachAlphaChannel(std::unique_ptr<TIEBitmap> Alpha);
  // Hands the plane over to the caller (null when there is none).
  std::unique_ptr<TIEBitmap> DetachAlphaChannel();
  // Frees the plane; with Merge an ie24RGB image is first blended onto
  // Background.
  void RemoveAlphaChannel(bool Merge = false, TColor Background = clWhite);
  // On an alpha plane its own bytes, otherwise the plane (created on demand).
  // Coordinates outside the image read 0 and write nothing.
  uint8_t GetAlpha(int32_t X, int32_t Y);
  void SetAlpha(int32_t X, int32_t Y, uint8_t Value);
  // Full = every byte of every row is 255.
  void UpdateFullFlag();
  // Dest's alpha = max(source alpha, Dest alpha) over the clipped rectangle.
  void MergeAlphaRectTo(TIEBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY,
                        int32_t Width, int32_t Height);
  bool GetIsAlphaChannel() const { return FIsAlphaChannel; }

  // ---- copying and wrapping ----
  // Like Assign but keeps this bitmap's own alpha plane and location, sets
  // full false, keeps the mono conversion mode; nothing for an empty Source.
  void AssignImage(TIEBitmap* Source);
  // Imports a platform bitmap (1-, 8-, 24- or 32-bit).
  void AssignTBitmap(TBitmap* Source);
  // Copies a platform-bitmap buffer (dib_bitmaps.cpp): 1 bit gives ie1g, 8
  // bits ie8g, 15, 16 and 24 bits ie24RGB (5- and 6-bit fields widened by
  // repeating their top bits), 32 bits ie32RGB; other bit counts change
  // nothing.
  void AssignTIEDibbitmap(TIEDibbitmap* Source);
  // Moves every pixel-holding field to Dest without copying pixels; this bitmap
  // is left empty and usable (location, threshold and options stay).
  void MoveContentTo(TIEBitmap* Dest);
  // Copies a rectangle into Dest, clipped to both bitmaps; a negative
  // destination origin moves the source origin with it and a negative source
  // origin moves the destination origin with it.  Same formats are copied;
  // ie1g into ie24RGB gives black and white; other pairs copy nothing.
  void CopyRectTo(TIEBitmap* Dest, int32_t SrcX, int32_t SrcY, int32_t DstX, int32_t DstY,
                  int32_t Width, int32_t Height);
  // Moves the inclusive rectangle (X1, Y1)-(X2, Y2) to (DstX, DstY) (clipped),
  // filling the vacated source first with FillValue when DoFill.
  void MoveRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t DstX, int32_t DstY,
                double FillValue, bool DoFill);
  // Uses Bitmap as storage without copying (the caller keeps ownership).
  void AttachTBitmap(TBitmap* Bitmap, bool FreeFirst);
  // Wraps a caller's pixel block (the caller keeps ownership).  RowOrder 0: the
  // block holds the rows last row first; 1: first row first.
  void AttachMemory(void* Data, int32_t Width, int32_t Height, TIEPixelFormat PixelFormat,
                    bool FreeFirst, uint8_t RowOrder);

  // ---- rendering (bitmap_render.cpp, bitmap_stretch.cpp) ----
  // Draws the source rectangle into the destination rectangle of Dest, an
  // ie24RGB bitmap whose rows are all addressable at once (ieMemory or
  // ieTBitmap; nothing is drawn into others), by nearest neighbour or, with
  // a Filter, through the resamplers first; blends by Transparency (255
  // opaque) and the alpha plane (EnableAlpha), applies the display range,
  // channel offsets and contrast, and combines by RenderOperation.
  // RowTable, XTable and YTable may be null (local tables) or point to
  // vectors the caller keeps: empty ones are filled here and handed back
  // (FreeTables false) or emptied again (FreeTables true); filled ones are
  // reused after their entries in use are checked.  XTable[x - DstX] is the
  // source column of destination column x (DstX after clipping), YTable
  // likewise.  ClipRect (destination, inclusive) restricts what is written.
  void RenderToTIEBitmap(TIEBitmap* Dest, std::vector<uint8_t*>* RowTable,
                         std::vector<int32_t>* XTable, std::vector<int32_t>* YTable,
                         const TRect* ClipRect, int32_t DstX, int32_t DstY, int32_t DstWidth,
                         int32_t DstHeight, int32_t SrcX, int32_t SrcY, int32_t SrcWidth,
                         int32_t SrcHeight, bool EnableAlpha, bool RowReuse, int32_t Transparency,
                         TResampleFilter Filter, bool FreeTables,
                         TIERenderOperation RenderOperation);
  // What the row kernels receive (defined in bitmap_render.cpp).
  struct TIERenderRows;
  // Local tables, no clip, alpha on, no row reuse.
  void RenderToTIEBitmapSimple(TIEBitmap* Dest, int32_t DstX, int32_t DstY, int32_t DstWidth,
                               int32_t DstHeight, int32_t SrcX, int32_t SrcY, int32_t SrcWidth,
                               int32_t SrcHeight, int32_t Transparency = 255,
                               TResampleFilter Filter = rfNone,
                               TIERenderOperation RenderOperation = 0);
  // The same into a 24-bit platform bitmap.
  void RenderToTBitmap(TBitmap* Bitmap, std::vector<uint8_t*>* RowTable,
                       std::vector<int32_t>* XTable, std::vector<int32_t>* YTable,
                       const TRect* ClipRect, int32_t DstX, int32_t DstY, int32_t DstWidth,
                       int32_t DstHeight, int32_t SrcX, int32_t SrcY, int32_t SrcWidth,
                       int32_t SrcHeight, bool EnableAlpha, bool RowReuse, int32_t Transparency,
                       TResampleFilter Filter, bool FreeTables,
                       TIERenderOperation RenderOperation);
  void RenderToTBitmapSimple(TBitmap* Bitmap, int32_t DstX, int32_t DstY, int32_t DstWidth,
                             int32_t DstHeight, int32_t SrcX, int32_t SrcY, int32_t SrcWidth,
                             int32_t SrcHeight, int32_t Transparency = 255,
                             TResampleFilter Filter = rfNone,
                             TIERenderOperation RenderOperation = 0);
  // Stretches the source rectangle into Dest (ie24RGB) with its alpha plane:
  // Dest's alpha rectangle receives the source alpha capped at Transparency,
  // or Transparency where the source has no (or a fully opaque) plane.
  // Sources other than ie1g and ie24RGB are converted to ie24RGB first.
  void StretchRectTo(TIEBitmap* Dest, int32_t DstX, int32_t DstY, int32_t DstWidth,
                     int32_t DstHeight, int32_t SrcX, int32_t SrcY, int32_t SrcWidth,
                     int32_t SrcHeight, TResampleFilter Filter, int32_t Transparency);
  // Prints the bitmap onto Canvas at (X, Y, Width, Height): rfNone stretches
  // a 200-dpi packed DIB; other filters resample into memory and print in
  // strips of at most 40 MB.  Gamma other than 1 (and above 0) corrects the
  // 24-bit result; zero or negative gamma is not applied.
  void RenderToCanvas(TCanvas* Canvas, int32_t X, int32_t Y, int32_t Width, int32_t Height,
                      TResampleFilter Filter, double Gamma);

  // ---- raw form (raw_bitmap_stream.cpp) ----
  // Bytes of the raw form: header, palette, rows, and the alpha plane when
  // there is one.
  int64_t GetRawSize();
  // Writes the raw form to Buffer (which holds GetRawSize bytes) when it is
  // not null, else to Stream at its position (nothing when both are null).
  // A short stream write raises EWriteError.
  void SaveRawToStream(void* Buffer, TStream* Stream);
  // Reads the raw form from Buffer (BufferSize bytes; -1 = not known) when it
  // is not null, else from Stream.  Every field is checked against what the
  // data can hold; a damaged or truncated record answers false and leaves the
  // stream after the record (or at its end).  A header that is refused leaves
  // this bitmap as it was; a failure in the pixels leaves it empty.
  bool LoadRawFromStream(const void* Buffer, TStream* Stream, int64_t BufferSize = -1);

  // ---- filling ----
  // Value read per format: ie1g non-zero = white; ie8p/ie8g/ie16g the level;
  // ie32f the level (clamped to 0..1); colour formats a TColor.
  void Fill(double Value);
  // The inclusive rectangle, clipped to the bitmap.
  void FillRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Value);

  // ---- pixels ----
  // Coordinates outside the image: getters answer 0 (black), setters do
  // nothing.  A setter writing below the format's maximum clears full.
  uint8_t GetPixel8(int32_t X, int32_t Y);
  void SetPixel8(int32_t X, int32_t Y, uint8_t Value);
  uint16_t GetPixel16(int32_t X, int32_t Y);
  void SetPixel16(int32_t X, int32_t Y, uint16_t Value);
  float GetPixelFloat(int32_t X, int32_t Y);
  // Values are clamped to 0..1 (a NaN becomes 0).
  void SetPixelFloat(int32_t X, int32_t Y, float Value);
  TCMYK GetPixel32(int32_t X, int32_t Y);
  void SetPixel32(int32_t X, int32_t Y, const TCMYK& Value);
  TRGB GetPixel24(int32_t X, int32_t Y);
  void SetPixel24(int32_t X, int32_t Y, const TRGB& Value);
  TRGB48 GetPixel48(int32_t X, int32_t Y);
  void SetPixel48(int32_t X, int32_t Y, const TRGB48& Value);
  // Pointer to the 3-byte pixel of an ie24RGB row (null outside the image).
  TRGB* GetRGBPixelPtr(int32_t X, int32_t Y);
  // Pixel (X, Y) of any format as blue, green, red.
  TRGB GetPixelRGB(int32_t X, int32_t Y);

  // ---- masks ----
  // Null Mask: Fill(255).  1-bit mask: ie1g, 8-bit: ie8g of the mask's size.
  void CopyFromTIEMask(TIEMask* Mask);
  // ie1g: 1-bit mask; ie8g: 8-bit mask; ie24RGB: 8-bit mask of the gray level.
  void CopyToTIEMask(TIEMask* Mask);
  void CopyMaskedTo(TIEBitmap* Dest, TIEMask* Mask);
  void CopyMaskedFilledTo(TIEBitmap* Dest, TIEMask* Mask, int32_t Background);
  void PasteMaskedTo(TIEBitmap* Dest, TIEMask* Mask);

  // ---- queries ----
  bool IsGrayscale();
  bool IsAllZero();

  // ---- options ----
  // Hint that every value is at its maximum (opaque alpha plane, white image).
  bool GetFull() const { return FFull; }
  void SetFull(bool Value) { FFull = Value; }
  // How conversions to ie1g reduce levels: 0 ordered dither, 1 threshold.
  uint8_t GetMonoConversion() const { return FMonoConversion; }
  void SetMonoConversion(uint8_t Value) { FMonoConversion = Value; }
  int32_t GetPaletteUsed() const { return FPaletteUsed; }
  void SetPaletteUsed(int32_t Value) { FPaletteUsed = Value; }
  // Display range of ie16g and ie32f values; both 0 = none.
  double GetRangeLow() const { return FRangeLow; }
  void SetRangeLow(double Value) { FRangeLow = Value; }
  double GetRangeHigh() const { return FRangeHigh; }
  void SetRangeHigh(double Value) { FRangeHigh = Value; }
  // Red, green, blue offsets (and a fourth, unused) of the drawing kernels.
  int32_t GetChannelOffset(int32_t Index) const;
  void SetChannelOffset(int32_t Index, int32_t Value);
  uint8_t GetAdjust() const { return FAdjust; }
  void SetAdjust(uint8_t Value) { FAdjust = Value; }
  int32_t GetContrast() const { return FContrast; }
  void SetContrast(int32_t Value) { FContrast = Value; }
  int32_t GetTag() const { return FTag; }
  void SetTag(int32_t Value) { FTag = Value; }
  // Pixel-block size above which an allocation goes to a temporary file.
  int64_t GetMemoryThreshold() const { return FMemoryThreshold; }
  void SetMemoryThreshold(int64_t Value) { FMemoryThreshold = Value; }
  // 0: a contiguous block holds the rows last row first; 1: first row first.
  uint8_t GetRowOrder() const { return FRowOrder; }
  bool GetReAllocate() const { return FReAllocate; }
  void SetReAllocate(bool Value) { FReAllocate = Value; }
  // Whether the memory is segmented (ieMemory only).
  bool IsSegmented() const { return !FSegments.empty(); }

  // The memory threshold a new bitmap gets: IETempFileThreshold when set, else
  // the physical memory / 1.3 (32 MB when that cannot be read).
  static int64_t DefaultMemoryThreshold();

 protected:
  // The row kernels of RenderToTIEBitmap, one opaque and one blending per
  // source format (bitmap_render.cpp).
  virtual void DrawRows24RGB(const TIERenderRows& A);
  virtual void DrawRows24RGBAlpha(const TIERenderRows& A);
  virtual void DrawRows32RGB(const TIERenderRows& A);
  virtual void DrawRows32RGBAlpha(const TIERenderRows& A);
  virtual void DrawRows1g(const TIERenderRows& A);
  virtual void DrawRows1gAlpha(const TIERenderRows& A);
  virtual void DrawRows8g(const TIERenderRows& A);
  virtual void DrawRows8gAlpha(const TIERenderRows& A);
  virtual void DrawRows8p(const TIERenderRows& A);
  virtual void DrawRows8pAlpha(const TIERenderRows& A);
  virtual void DrawRows16g(const TIERenderRows& A);
  virtual void DrawRows16gAlpha(const TIERenderRows& A);
  virtual void DrawRows32f(const TIERenderRows& A);
  virtual void DrawRows32fAlpha(const TIERenderRows& A);
  virtual void DrawRowsCMYK(const TIERenderRows& A);
  virtual void DrawRowsCMYKAlpha(const TIERenderRows& A);
  virtual void DrawRowsCIELab(const TIERenderRows& A);
  virtual void DrawRowsCIELabAlpha(const TIERenderRows& A);
  virtual void DrawRowsRGB48(const TIERenderRows& A);
  virtual void DrawRowsRGB48Alpha(const TIERenderRows& A);

  // Bit count, channel count and row length from the format, width and row
  // alignment (32 at ieTBitmap, where the platform bitmap sets the layout).
  void UpdateDerivedFields() const;
  // One platform-bitmap row pointer per row (ieTBitmap).
  void BuildScanlineTable() const;
  // The pixel allocation proper (location revisited, fallbacks); false on any
  // failure.  Width, height and format fields must be set.
  bool AllocateImage();

 private:
  bool AllocateMemoryBlock(int64_t Size);
  bool AllocateSegments(int64_t Size);
  bool AllocateFileBlock(int64_t Size);
  bool AllocateTBitmap(int64_t Size);
  void ReleaseMappedRow();
  void CopyRowsFrom(TIEBitmap* Source);
  void FillRowBytes(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Value, bool WholeImage);
  void ResizeOneSide(int32_t NewWidth, int32_t NewHeight);
  void ReleasePixelStorage();
  void AssignFrom(TIEBitmap* Source, bool WithAlpha);
  bool ConvertForTBitmap(TIEBitmap* Source);
  static std::unique_ptr<TIEBitmap> CloneAlpha(TIEBitmap* Alpha);
  uint8_t* PixelAddress(int32_t X, int32_t Y, int32_t BytesPerPixel);

  std::unique_ptr<TIEFileBuffer> FFileBuffer;
  void* FMappedRow = nullptr;  // the row mapped by GetScanline at ieFile
  mutable std::unique_ptr<TRGB[]> FPalette;
  mutable int32_t FPaletteLen = 0;
  std::unique_ptr<TIEBitmap> FAlphaChannel;
  uint8_t* FPixelBase = nullptr;  // first byte of the block at ieMemory (64-byte aligned)
  void* FRawBlock = nullptr;      // the block that holds the pixel base
  TBitmap* FTBitmap = nullptr;    // the storage at ieTBitmap
  std::unique_ptr<TBitmap> FOwnedTBitmap;  // set when FTBitmap is ours
  // At ieTBitmap the shape fields marked mutable (size, format, row length,
  // palette, row table) mirror the platform bitmap and are refreshed by the
  // const queries through SyncWithTBitmap, which the platform bitmap may have
  // changed under us.
  // Whether FTBitmap's colour table is the gray ramp, as of its change key
  // FTBitmapKey (-1: not known); read on every size and format query.
  mutable int64_t FTBitmapKey = -1;
  mutable bool FTBitmapGray = false;
  mutable std::vector<uint8_t*> FScanlineTable;
  std::vector<void*> FLockedPtr;      // rows handed out by LockScanline ...
  std::vector<int32_t> FLockedRow;    // ... and their row numbers
  uint8_t FRowOrder = 0;
  mutable int32_t FWidth = 0;
  mutable int32_t FHeight = 0;
  mutable int32_t FBitCount = 0;
  mutable int32_t FChannelCount = 0;
  mutable int64_t FRowLen = 0;
  mutable TIEPixelFormat FPixelFormat = ieNoFormat;
  bool FIsAlphaChannel = false;
  TIELocation FLocation = ieFile;
  bool FFull = false;
  bool FExternalTBitmap = false;
  bool FExternalMemory = false;
  int64_t FMemoryThreshold = 0;
  uint8_t FMonoConversion = 1;
  int32_t FPaletteUsed = 256;
  double FRangeLow = 0;
  double FRangeHigh = 0;
  int32_t FChannelOffset[4] = {0, 0, 0, 0};
  uint8_t FAdjust = 0;
  int32_t FContrast = 0;
  int32_t FRowAlignment = 32;
  uint8_t FAllocatorKind = 2;
  bool FReAllocate = true;
  int32_t FTag = 0;
  int32_t FRowsPerSegment = 0;
  std::vector<void*> FSegments;
};

// One row of a bitmap held through LockScanline for as long as the lease
// lives and released through UnlockScanline when it ends.  At ieFile the row
// stays mapped while other rows of the bitmap are read and written, so an
// algorithm reading one row while writing another needs no copy of it; at the
// other locations the lease is the row pointer.  Movable, not copyable; an
// empty lease (default made, moved from, or a row outside the bitmap) holds a
// null row.
class TIERowLease {
 public:
  TIERowLease() = default;
  TIERowLease(TIEBitmap* Bitmap, int32_t Row)
      : FBitmap(Bitmap), FRow(Row), FData(Bitmap ? Bitmap->LockScanline(Row) : nullptr) {}
  ~TIERowLease() { Release(); }
  TIERowLease(const TIERowLease&) = delete;
  TIERowLease& operator=(const TIERowLease&) = delete;
  TIERowLease(TIERowLease&& Other) noexcept
      : FBitmap(Other.FBitmap), FRow(Other.FRow), FData(Other.FData) {
    Other.FBitmap = nullptr;
    Other.FData = nullptr;
  }
  TIERowLease& operator=(TIERowLease&& Other) noexcept {
    if (this != &Other) {
      Release();
      FBitmap = Other.FBitmap;
      FRow = Other.FRow;
      FData = Other.FData;
      Other.FBitmap = nullptr;
      Other.FData = nullptr;
    }
    return *this;
  }

  uint8_t* Get() const { return FData; }
  int32_t GetRow() const { return FRow; }
  explicit operator bool() const { return FData != nullptr; }
  // Gives the row back before the lease ends.
  void Release() {
    if (FBitmap && FData) FBitmap->UnlockScanline(FRow);
    FBitmap = nullptr;
    FData = nullptr;
  }

 private:
  TIEBitmap* FBitmap = nullptr;
  int32_t FRow = 0;
  uint8_t* FData = nullptr;
};

// The pixel-format conversion rules need the colour quantizer and the 1-bit
// reductions, which are image operations of the layer above; that layer
// installs them when the program starts. Until then SetPixelFormat and
// ConvertToPixelFormat leave the image as it is and ConvertFrom does nothing.
struct TIEPixelConversion {
  // Converts Bitmap in place; true when it holds PixelFormat afterwards.
  bool (*ConvertToPixelFormat)(TIEBitmap* Bitmap, TIEPixelFormat PixelFormat) = nullptr;
  // Fills the allocated Dest from Source, alpha plane included.
  void (*ConvertFrom)(TIEBitmap* Dest, TIEBitmap* Source) = nullptr;
  // The pixels alone, Dest and Source of one size.
  void (*ConvertPixels)(TIEBitmap* Dest, TIEBitmap* Source) = nullptr;
};
void IEInstallPixelConversion(const TIEPixelConversion& Conversion);
