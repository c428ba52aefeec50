#include "formats/tiff/tiff_writer.h"
#include "formats/tiff/tiff_tags.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_set>

#include "foundations/image_buffer.h"
#include "foundations/imaging_annotations.h"
#include "foundations/icc_profile.h"
#include "foundations/iptc.h"
#include "foundations/number_text.h"
#include "foundations/settings.h"
#include "foundations/tag_directory.h"
#include "foundations/zlib_streams.h"
#include "formats/fax/ccitt_fax.h"
#include "foundations/ie_streams.h"
#include "formats/jpeg/exif_block.h"
#include "formats/io_params.h"
#include "formats/tiff/tiff_reader.h"
#include "formats/jpeg/jpeg_codec.h"
#include "foundations/progress.h"
#include "formats/row_colour_converter.h"
#include "formats/tiff/tiff_chain_cache.h"
#include "formats/tiff/tiff_lzw.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"
#include "foundations/pixel_utils.h"
#include "kernels/quantizer.h"

void TiffStripLayout(int32_t Height, int64_t RowLength, int32_t& RowsPerStrip, int32_t& StripCount) {
  if (Height <= 0) {
    RowsPerStrip = 1;
    StripCount = 0;
    return;
  }
  const int64_t n = std::max<int64_t>(1, (int64_t(Height) * std::max<int64_t>(RowLength, 1)) >> 19);
  RowsPerStrip = int32_t(std::max<int64_t>(1, Height / std::min<int64_t>(n, Height)));
  StripCount = int32_t((int64_t(Height) + RowsPerStrip - 1) / RowsPerStrip);
}

void TiffPackBitsRow(const uint8_t* Row, int64_t Count, std::vector<uint8_t>& Out) {
  int64_t literal = -1;  // start of the pending literal
  auto flush = [&](int64_t End) {
    while (literal >= 0 && literal < End) {
      const int64_t n = std::min<int64_t>(128, End - literal);
      Out.push_back(uint8_t(n - 1));
      Out.insert(Out.end(), Row + literal, Row + literal + n);
      literal += n;
    }
    literal = -1;
  };
  int64_t p = 0;
  while (p < Count) {
    int64_t run = 1;
    while (p + run < Count && run < 128 && Row[p + run] == Row[p]) ++run;
    if (run >= 4) {
      flush(p);
      Out.push_back(uint8_t(1 - run));
      Out.push_back(Row[p]);
    } else if (literal < 0) {
      literal = p;
    }
    p += run;
  }
  flush(Count);
}

namespace {

struct TEntry {
  uint16_t Tag;
  uint16_t Type;
  uint32_t Count;
  uint8_t Raw[4];
};

// Colour layout of the page being written.
enum TLayout { lyBilevel, lyGray, lyRGB, lyPalette, lyCMYK, lyLab, lyRGB48, lyGray16 };

class TPageWriter {
 public:
  TPageWriter(TStream* Stream, int64_t Base, TIEProgressRec& Progress)
      : S(Stream), FBase(Base), P(Progress) {}

  bool Put(const void* Data, int64_t Count) {
    if (P.IsAborting()) return false;
    if (Count > 0 && S->Write(Data, Count) != Count) {
      P.SetAborting();
      return false;
    }
    return true;
  }
  int64_t Pos() { return S->GetPosition() - FBase; }
  // The next even position (a 0 byte written when needed); false when the
  // file would outgrow 32-bit offsets.
  bool Align() {
    if (Pos() & 1) {
      const uint8_t z = 0;
      Put(&z, 1);
    }
    if (Pos() > int64_t(UINT32_MAX) - 16) P.SetAborting();
    return !P.IsAborting();
  }

  void Entry(uint16_t Tag, uint16_t Type, uint32_t Count, uint32_t Value) {
    TEntry e{Tag, Type, Count, {}};
    if ((Type == 3 || Type == 8) && Count <= 2 && Count > 0 && Value <= 0xFFFF) {
      e.Raw[0] = uint8_t(Value);
      e.Raw[1] = uint8_t(Value >> 8);
    } else if ((Type == 1 || Type == 2 || Type == 7) && Count <= 4) {
      e.Raw[0] = uint8_t(Value);
      e.Raw[1] = uint8_t(Value >> 8);
      e.Raw[2] = uint8_t(Value >> 16);
      e.Raw[3] = uint8_t(Value >> 24);
    } else {
      for (int i = 0; i < 4; ++i) e.Raw[i] = uint8_t(Value >> (8 * i));
    }
    FEntries.push_back(e);
  }
  void Long(uint16_t Tag, uint32_t Value) { Entry(Tag, 4, 1, Value); }
  void Short(uint16_t Tag, uint16_t Value) { Entry(Tag, 3, 1, Value); }
  // Data that does not fit the value field goes to the stream at once.
  void Block(uint16_t Tag, uint16_t Type, uint32_t Count, const void* Data, int64_t Size) {
    if (Size <= 4) {
      TEntry e{Tag, Type, Count, {}};
      if (Size > 0) std::memcpy(e.Raw, Data, size_t(Size));
      FEntries.push_back(e);
      return;
    }
    if (!Align()) return;
    const uint32_t at = uint32_t(Pos());
    if (Put(Data, Size)) Entry(Tag, Type, Count, at);
  }
  void Shorts(uint16_t Tag, const std::vector<uint16_t>& V) {
    std::vector<uint8_t> b;
    for (uint16_t x : V) {
      b.push_back(uint8_t(x));
      b.push_back(uint8_t(x >> 8));
    }
    Block(Tag, 3, uint32_t(V.size()), b.data(), int64_t(b.size()));
  }
  void Longs(uint16_t Tag, const std::vector<uint32_t>& V) {
    std::vector<uint8_t> b;
    for (uint32_t x : V)
      for (int i = 0; i < 4; ++i) b.push_back(uint8_t(x >> (8 * i)));
    Block(Tag, 4, uint32_t(V.size()), b.data(), int64_t(b.size()));
  }
  void Text(uint16_t Tag, const std::string& T) {
    if (T.empty()) return;
    std::string z = T;
    z.push_back('\0');
    Block(Tag, 2, uint32_t(z.size()), z.data(), int64_t(z.size()));
  }
  void Rational(uint16_t Tag, double V) {
    int32_t n = 0, d = 1;
    IEFloatToRational(n, d, V, 5e-9);
    if (d <= 0) d = 1;
    const uint32_t b[2] = {uint32_t(n), uint32_t(d)};
    Block(Tag, 5, 1, b, 8);
  }

  bool Has(uint16_t Tag) const {
    for (const TEntry& e : FEntries)
      if (e.Tag == Tag) return true;
    return false;
  }
  // Copies entry E of directory D (another stream): inline values as they
  // are, other data written here with the entry pointing at it.
  void CopyEntry(const TiffDirectory& D, const TiffEntry& E) {
    int64_t off = 0, size = 0;
    bool inl = false;
    if (!D.DataLocation(E, off, size, inl) || size > (int64_t(64) << 20)) return;
    if (inl) {
      TEntry e{E.Tag, E.Type, E.Count, {}};
      std::memcpy(e.Raw, E.Raw, 4);
      FEntries.push_back(e);
      return;
    }
    std::vector<uint8_t> data(static_cast<size_t>(size));
    if (D.ReadAt(off, data.data(), size)) Block(E.Tag, E.Type, E.Count, data.data(), size);
  }

  // Writes the directory at the next even position; answers its offset (0
  // on failure).
  uint32_t WriteIfd(uint32_t Next) {
    if (!Align()) return 0;
    std::stable_sort(FEntries.begin(), FEntries.end(),
                     [](const TEntry& A, const TEntry& B) { return A.Tag < B.Tag; });
    const uint32_t at = uint32_t(Pos());
    std::vector<uint8_t> b;
    b.push_back(uint8_t(FEntries.size()));
    b.push_back(uint8_t(FEntries.size() >> 8));
    for (const TEntry& e : FEntries) {
      b.push_back(uint8_t(e.Tag));
      b.push_back(uint8_t(e.Tag >> 8));
      b.push_back(uint8_t(e.Type));
      b.push_back(uint8_t(e.Type >> 8));
      for (int i = 0; i < 4; ++i) b.push_back(uint8_t(e.Count >> (8 * i)));
      b.insert(b.end(), e.Raw, e.Raw + 4);
    }
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(Next >> (8 * i)));
    return Put(b.data(), int64_t(b.size())) ? at : 0;
  }

  TStream* S;
  int64_t FBase;
  TIEProgressRec& P;
  std::vector<TEntry> FEntries;
};

uint32_t Le32(const uint8_t* B) {
  return uint32_t(B[0]) | (uint32_t(B[1]) << 8) | (uint32_t(B[2]) << 16) | (uint32_t(B[3]) << 24);
}

// Walks an existing little-endian file from Base; finds where page Index
// goes.  Field is the stream position of the next-directory field to patch,
// Old the offset it held.  False for a file that is not little-endian TIFF.
bool FindInsertionPoint(TStream* S, int64_t Base, int32_t Index, int64_t& Field, uint32_t& Old,
                        int32_t& Pages) {
  uint8_t h[8];
  S->Seek(Base, soBeginning);
  if (S->Read(h, 8) != 8 || h[0] != 'I' || h[1] != 'I') return false;
  const int64_t size = S->GetSize() - Base;
  int64_t p = 4;
  uint32_t o = Le32(h + 4);
  Pages = 0;
  bool found = false;
  std::unordered_set<uint32_t> seen;
  for (int32_t i = 0;; ++i) {
    if (i == Index || (o == 0 && i < Index && !found)) {
      Field = Base + p;
      Old = o;
      found = true;
    }
    if (o == 0 || !seen.insert(o).second || int64_t(o) + 2 > size) break;
    uint8_t c[4];
    S->Seek(Base + o, soBeginning);
    if (S->Read(c, 2) != 2) break;
    const int64_t next = int64_t(o) + 2 + int64_t(c[0] | (c[1] << 8)) * 12;
    if (next + 4 > size) break;
    S->Seek(Base + next, soBeginning);
    if (S->Read(c, 4) != 4) break;
    ++Pages;
    p = next;
    o = Le32(c);
  }
  if (!found) {
    Field = Base + p;
    Old = 0;
  }
  return true;
}

}  // namespace

namespace {

// Copies a sub-directory (EXIF or GPS) of the block into the file; answers
// its offset (0 when nothing was written).  Pointers to further directories
// inside it cannot follow and are left out.
uint32_t CopySubDirectory(TPageWriter& W, const TiffDirectory& Sub) {
  TPageWriter sub(W.S, W.FBase, W.P);
  for (const TiffEntry& e : Sub.Entries)
    if (e.Tag != TiffTag::InteroperabilityIfd && e.Tag != TiffTag::ExifIfd && e.Tag != TiffTag::GpsIfd)
      sub.CopyEntry(Sub, e);
  if (sub.FEntries.empty()) return 0;
  return sub.WriteIfd(0);
}

void WriteExifTags(TPageWriter& W, TIOParamsVals& Params) {
  std::unique_ptr<uint8_t[]> owned;
  int32_t size = 0;
  IEEncodeExifBlock(&Params, owned, size, false);
  uint8_t* block = owned.get();
  // The block is a little-endian structure like the file.
  if (!block || size < 8 || block[0] != 'I') return;
  TIEMemStream ms(block, size);
  TiffDirectory d;
  d.Bind(&ms, block[0] == 'I', 0);
  const int64_t first = d.Get32(block + 4);
  int32_t count = 0;
  if (!TiffReadIfd(0, first, d, count)) return;
  static const uint16_t kPageTags[] = {TiffTag::ImageDescription,
                                       TiffTag::Make,
                                       TiffTag::Model,
                                       TiffTag::DateTime,
                                       TiffTag::Orientation,
                                       TiffTag::XResolution,
                                       TiffTag::YResolution,
                                       TiffTag::ResolutionUnit,
                                       TiffTag::Software,
                                       TiffTag::Artist,
                                       TiffTag::WhitePoint,
                                       TiffTag::YCbCrPositioning,
                                       TiffTag::PrimaryChromaticities,
                                       TiffTag::YCbCrCoefficients,
                                       TiffTag::ReferenceBlackWhite,
                                       TiffTag::Copyright,
                                       TiffTag::Rating,
                                       TiffTag::XpTitle,
                                       TiffTag::XpComment,
                                       TiffTag::XpAuthor,
                                       TiffTag::XpKeywords,
                                       TiffTag::XpSubject};
  for (uint16_t tag : kPageTags) {
    const int32_t i = d.FindTag(tag);
    if (i >= 0) W.CopyEntry(d, d.Entries[size_t(i)]);
  }
  for (uint16_t pointer : {TiffTag::ExifIfd, TiffTag::GpsIfd}) {
    const int64_t at = d.GetInteger(pointer, 0);
    TiffDirectory sub;
    sub.Bind(&ms, d.LittleEndian, 0);
    if (at == 0 || !TiffLoadIfdAt(at, sub)) continue;
    const uint32_t where = CopySubDirectory(W, sub);
    if (where) W.Entry(pointer, 4, 1, where);
  }
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// Stage 1: the stored layout of the page, chosen once from the image and the
// parameters.

struct TTiffPageLayout {
  TIEBitmap* Bitmap = nullptr;         // the rows read: the caller's or Work
  std::unique_ptr<TIEBitmap> Work;     // a converted or inverted copy
  TIEPixelFormat Format = ie24RGB;
  int32_t Width = 0, Height = 0;
  TLayout Layout = lyRGB;
  int32_t Bits = 8;
  int32_t Samples = 3;
  uint16_t Photometric = 2;
  uint16_t Compression = TiffCompression::None;
  bool Ccitt = false, TwoD = false;
  int32_t Predictor = TiffPredictor::None;
  int32_t FillOrder = 1;
  bool AlphaSample = false;
  uint8_t JpegSpace = 0;
  std::vector<TRGB> Palette;
  std::unique_ptr<TIEQuantizer> Quantizer;
  TTiffLzwEncodeProc Lzw = nullptr;
  int64_t RowBytes = 0;  // one row as written
};

bool ChooseLayout(TIEBitmap* Bitmap, TIOParamsVals& Params, TTiffPageLayout& L) {
  TIEBitmap* bmp = Bitmap;
  const bool wantBilevel = Params.BitsPerSample == 1 && Params.SamplesPerPixel == 1;
  if (!wantBilevel && bmp->GetPixelFormat() == ie1g) {
    L.Work = TIEBitmap::CreateSized(bmp->GetWidth(), bmp->GetHeight(), ie24RGB);
    L.Work->ConvertFrom(bmp);
    bmp = L.Work.get();
  } else if (wantBilevel && bmp->GetPixelFormat() != ie1g) {
    L.Work = TIEBitmap::CreateSized(bmp->GetWidth(), bmp->GetHeight(), ie1g);
    L.Work->ConvertFrom(bmp);
    bmp = L.Work.get();
  }
  if (bmp->IsEmpty()) return false;
  L.Bitmap = bmp;
  const TIEPixelFormat fmt = L.Format = bmp->GetPixelFormat();
  L.Width = bmp->GetWidth();
  L.Height = bmp->GetHeight();
  int32_t& bits = L.Bits;
  TLayout& layout = L.Layout;
  switch (fmt) {
    case ie1g:
      layout = lyBilevel;
      bits = 1;
      break;
    case ie16g:
      // 16-bit gray pages keep their 16 bits.
      layout = lyGray16;
      bits = 16;
      break;
    case ie8g:
      layout = lyGray;
      break;
    case ie8p:
      layout = lyPalette;
      L.Palette.assign(size_t(std::max(bmp->GetPaletteLen(), 0)), TRGB());
      for (size_t i = 0; i < L.Palette.size(); ++i) L.Palette[i] = bmp->GetPaletteColor(int32_t(i));
      break;
    case ieCMYK:
      layout = lyCMYK;
      break;
    case ieRGB48:
      layout = lyRGB48;
      bits = 16;
      break;
    default:
      layout = lyRGB;
      break;
  }
  if (fmt == ie24RGB) {
    const int32_t wanted = Params.BitsPerSample;
    if (Params.SamplesPerPixel == 1 && ((wanted >= 2 && wanted <= 8) || wanted == 16)) {
      bits = std::min(wanted, 8);
      L.Palette.assign(size_t(1) << bits, TRGB());
      L.Quantizer = std::make_unique<TIEQuantizer>(bmp, L.Palette, int32_t(L.Palette.size()));
      layout = L.Quantizer->GetIsGray() ? lyGray : lyPalette;
    } else if (Params.TiffPhotometric == ietpCMYK) {
      layout = lyCMYK;
    } else if (Params.TiffPhotometric == ietpCIELab) {
      layout = lyLab;
    }
  }
  if (layout == lyPalette && fmt == ie8p) bits = 8;

  uint16_t& compression = L.Compression;
  L.Lzw = Params.TiffLzwEncoder ? Params.TiffLzwEncoder : (TiffLzwEncodeHook ? TiffLzwEncodeHook : TiffLzwEncode);
  switch (Params.TiffCompression) {
    case ietcHuffman:
      compression = TiffCompression::CcittRle;
      L.Ccitt = true;
      break;
    case ietcG3Fax1D:
      compression = TiffCompression::CcittT4;
      L.Ccitt = true;
      break;
    case ietcG3Fax2D:
      compression = TiffCompression::CcittT4;
      L.Ccitt = true;
      L.TwoD = true;
      break;
    case ietcG4Fax:
      compression = TiffCompression::CcittT6;
      L.Ccitt = true;
      break;
    case ietcLZW:
      compression = TiffCompression::Lzw;
      L.Predictor = TiffPredictor::Horizontal;
      break;
    case ietcPackBits:
      compression = TiffCompression::PackBits;
      break;
    case ietcZIP:
    case ietcDeflate:
      compression = TiffCompression::Deflate;
      break;
    case ietcJPEG:
      // Whole-image JPEG strip for colour and gray pages; other pages are
      // stored uncompressed.
      if (fmt == ie24RGB || fmt == ie8g) compression = TiffCompression::Jpeg;
      break;
    default:
      compression = TiffCompression::None;
      break;
  }
  L.JpegSpace = Params.TiffJpegColorSpace;
  if (compression == TiffCompression::Jpeg) {
    if (fmt == ie8g) L.JpegSpace = ioJPEG_GRAYLEV;
    if (L.JpegSpace == ioJPEG_YCbCrK) L.JpegSpace = ioJPEG_RGB;
    switch (L.JpegSpace) {
      case ioJPEG_GRAYLEV: layout = lyGray; bits = 8; break;
      case ioJPEG_CMYK: layout = lyCMYK; bits = 8; break;
      default: layout = lyRGB; bits = 8; break;
    }
    L.Quantizer.reset();
  }
  // A fax compression needs a black-and-white page: others are stored
  // uncompressed.
  if (L.Ccitt && layout != lyBilevel) {
    L.Ccitt = L.TwoD = false;
    compression = TiffCompression::None;
  }
  const int32_t width = L.Width, height = L.Height;
  // Colour and gray pages of 8 and 16 bits keep an alpha channel as an extra
  // sample; palette, bilevel, CMYK and Lab pages have no room for one.
  const bool alphaLayout = layout == lyRGB || layout == lyRGB48 || layout == lyGray16 ||
                           (layout == lyGray && bits == 8 && (fmt == ie8g || fmt == ie16g));
  L.AlphaSample =
      alphaLayout && compression != TiffCompression::Jpeg && bmp->HasAlphaChannel() &&
      (compression == TiffCompression::None || compression == TiffCompression::Lzw ||
       compression == TiffCompression::PackBits || compression == TiffCompression::Deflate) &&
      [&] {
        TIEBitmap* a = bmp->GetAlphaChannel();
        for (int32_t y = 0; y < height; ++y) {
          const uint8_t* r = a->GetScanline(y);
          for (int32_t x = 0; x < width; ++x)
            if (r[x] != 255) return true;
        }
        return false;
      }();
  if (!(layout == lyRGB && !L.AlphaSample && compression == TiffCompression::Lzw))
    L.Predictor = TiffPredictor::None;
  L.FillOrder = L.Ccitt && Params.TiffFillOrder == TiffFillOrder::Lsb2Msb ? 2 : 1;
  switch (layout) {
    case lyRGB:
    case lyRGB48: L.Samples = L.AlphaSample ? 4 : 3; break;
    case lyCMYK: L.Samples = 4; break;
    case lyLab: L.Samples = 3; break;
    case lyGray:
    case lyGray16: L.Samples = L.AlphaSample ? 2 : 1; break;
    default: L.Samples = 1; break;
  }
  switch (layout) {
    case lyBilevel: L.Photometric = L.Ccitt ? 0 : 1; break;
    case lyGray:
    case lyGray16: L.Photometric = 1; break;
    case lyPalette: L.Photometric = 3; break;
    case lyCMYK: L.Photometric = 5; break;
    case lyLab: L.Photometric = 8; break;
    default: L.Photometric = 2; break;
  }
  if (compression == TiffCompression::Jpeg && L.JpegSpace == ioJPEG_YCbCr) {
    L.Photometric = 6;
    L.Samples = 3;
  }
  L.RowBytes = (int64_t(width) * L.Samples * bits + 7) / 8;
  return true;
}

// ---------------------------------------------------------------------------
// Stage 2: the tags that do not depend on the pixels.

void WriteTagSet(TPageWriter& w, const TTiffPageLayout& L, TIOParamsVals& Params) {
  w.Long(TiffTag::NewSubfileType, 0);
  w.Long(TiffTag::ImageWidth, uint32_t(L.Width));
  w.Long(TiffTag::ImageLength, uint32_t(L.Height));
  w.Shorts(TiffTag::BitsPerSample, std::vector<uint16_t>(size_t(L.Samples), uint16_t(L.Bits)));
  w.Short(TiffTag::Compression, L.Compression);
  w.Short(TiffTag::Photometric, L.Photometric);
  w.Text(TiffTag::DocumentName, Params.TiffDocumentName);
  if (!w.Has(TiffTag::ImageDescription)) w.Text(TiffTag::ImageDescription, Params.TiffImageDescription);
  if (L.Ccitt) {
    w.Short(TiffTag::FillOrder, uint16_t(L.FillOrder));
    w.Long(TiffTag::CleanFaxData, 0);
  }
  w.Short(TiffTag::SamplesPerPixel, uint16_t(L.Samples));
  if (!w.Has(TiffTag::XResolution))
    w.Rational(TiffTag::XResolution, Params.DpiX > 0 ? Params.DpiX : IEDefaultDpiX);
  if (!w.Has(TiffTag::YResolution))
    w.Rational(TiffTag::YResolution, Params.DpiY > 0 ? Params.DpiY : IEDefaultDpiY);
  w.Short(TiffTag::PlanarConfig, 1);
  w.Text(TiffTag::PageName, Params.TiffPageName);
  if (Params.TiffXPosition != 0) w.Rational(TiffTag::XPosition, Params.TiffXPosition);
  if (Params.TiffYPosition != 0) w.Rational(TiffTag::YPosition, Params.TiffYPosition);
  if (L.Compression == TiffCompression::CcittT4) w.Long(TiffTag::T4Options, L.TwoD ? 1 : 0);
  if (L.Compression == TiffCompression::CcittT6) w.Long(TiffTag::T6Options, 0);
  if (!w.Has(TiffTag::ResolutionUnit)) w.Short(TiffTag::ResolutionUnit, 2);
  if (Params.TiffPageNumber >= 0 || Params.TiffPageTotal >= 0) {
    w.Shorts(TiffTag::PageNumber,
             {uint16_t(std::max(Params.TiffPageNumber, 0)), uint16_t(std::max(Params.TiffPageTotal, 0))});
  }
  if (L.Predictor == TiffPredictor::Horizontal) w.Short(TiffTag::Predictor, 2);
  if (L.Photometric == 6) w.Shorts(TiffTag::YCbCrSubsampling, {2, 2});  // the JPEG codec's sampling
  if (L.AlphaSample) w.Short(TiffTag::ExtraSamples, 2);                 // unassociated (straight) alpha
  if (L.Layout == lyPalette) {
    // 2^bits entries per channel, whatever the number of colours used.
    const size_t n = size_t(1) << L.Bits;
    std::vector<uint16_t> map(3 * n, 0);
    for (size_t i = 0; i < n && i < L.Palette.size(); ++i) {
      map[i] = uint16_t(L.Palette[i].r * 257);
      map[n + i] = uint16_t(L.Palette[i].g * 257);
      map[2 * n + i] = uint16_t(L.Palette[i].b * 257);
    }
    w.Shorts(TiffTag::ColorMap, map);
  }
  if (!Params.XmpPacket.empty())
    w.Block(TiffTag::Xmp, 1, uint32_t(Params.XmpPacket.size()), Params.XmpPacket.data(),
            int64_t(Params.XmpPacket.size()));
  if (Params.ImagingAnnot) {
    std::unique_ptr<uint8_t[]> data;
    int32_t len = 0;
    Params.ImagingAnnot->SaveToTagData(data, len);
    if (data && len > 0) w.Block(TiffTag::ImagingAnnotations, 1, uint32_t(len), data.get(), len);
  }
  if (Params.InputIccProfile && Params.InputIccProfile->IsValid() && !Params.InputIccProfile->GetApplied() &&
      Params.InputIccProfile->GetRawLength() > 0)
    w.Block(TiffTag::IccProfile, 7, uint32_t(Params.InputIccProfile->GetRawLength()),
            Params.InputIccProfile->GetRawData(), Params.InputIccProfile->GetRawLength());
  if (Params.IptcRecords) {
    std::unique_ptr<uint8_t[]> data;
    int32_t len = 0;
    Params.IptcRecords->SaveToBuffer(data, len, false);
    if (data && len > 0) {
      std::vector<uint8_t> padded(data.get(), data.get() + len);
      padded.resize((size_t(len) + 3) / 4 * 4, 0);
      w.Block(TiffTag::Iptc, 4, uint32_t(padded.size() / 4), padded.data(), int64_t(padded.size()));
    }
  }
}

// ---------------------------------------------------------------------------
// Stage 3: the row source, each row of the bitmap in the file's layout.

class TTiffRowSource {
 public:
  TTiffRowSource(const TTiffPageLayout& L, TIOParamsVals& Params)
      : FL(L), FParams(Params), FRow(size_t(L.RowBytes) + 16, 0), FAlpha(L.AlphaSample ? L.Bitmap->GetAlphaChannel() : nullptr) {
    if (L.Layout == lyCMYK && L.Format != ieCMYK) FCmyk.resize(size_t(L.Width) * 4 + 16);
  }

  const uint8_t* Row(int32_t y) {
    const TTiffPageLayout& L = FL;
    const uint8_t* src = L.Bitmap->GetScanline(y);
    uint8_t* d = FRow.data();
    const int64_t n = L.RowBytes;
    const int32_t width = L.Width;
    switch (L.Layout) {
      case lyBilevel:
        if (L.Ccitt)
          for (int64_t i = 0; i < n; ++i) d[i] = uint8_t(~src[i]);
        else
          std::memcpy(d, src, size_t(n));
        break;
      case lyGray16:
      case lyRGB48:
        if (FAlpha) {
          // Little-endian words as in the bitmap, the alpha widened to 16
          // bits after each pixel's samples.
          const int32_t words = L.Layout == lyRGB48 ? 3 : 1;
          const uint8_t* a = FAlpha->GetScanline(y);
          for (int32_t x = 0; x < width; ++x) {
            uint8_t* o = d + size_t(x) * size_t(words + 1) * 2;
            std::memcpy(o, src + size_t(x) * size_t(words) * 2, size_t(words) * 2);
            const uint16_t wide = uint16_t(a[x] * 257);
            o[words * 2] = uint8_t(wide);
            o[words * 2 + 1] = uint8_t(wide >> 8);
          }
        } else {
          std::memcpy(d, src, size_t(n));
        }
        break;
      case lyGray:
      case lyPalette:
        FAlphaRow = y;
        PackIndexes(src, d);
        break;
      case lyRGB: {
        // Blue, green, red in the bitmap; red, green, blue in the file.
        if (FAlpha) {
          const uint8_t* a = FAlpha->GetScanline(y);
          for (int32_t x = 0; x < width; ++x) {
            d[4 * x] = src[3 * x + 2];
            d[4 * x + 1] = src[3 * x + 1];
            d[4 * x + 2] = src[3 * x];
            d[4 * x + 3] = a[x];
          }
        } else if (L.Predictor == TiffPredictor::Horizontal) {
          uint8_t pr = 0, pg = 0, pb = 0;
          for (int32_t x = 0; x < width; ++x) {
            const uint8_t r = src[3 * x + 2], g = src[3 * x + 1], b = src[3 * x];
            d[3 * x] = uint8_t(r - pr);
            d[3 * x + 1] = uint8_t(g - pg);
            d[3 * x + 2] = uint8_t(b - pb);
            pr = r;
            pg = g;
            pb = b;
          }
        } else {
          for (int32_t x = 0; x < width; ++x) {
            d[3 * x] = src[3 * x + 2];
            d[3 * x + 1] = src[3 * x + 1];
            d[3 * x + 2] = src[3 * x];
          }
        }
        break;
      }
      case lyCMYK:
        if (L.Format == ieCMYK) {
          for (int64_t i = 0; i < n; ++i) d[i] = uint8_t(255 - src[i]);
        } else {
          IEColorConvertRow(src, 1, FCmyk.data(), 2, width, &FParams);
          for (int64_t i = 0; i < n; ++i) d[i] = uint8_t(255 - FCmyk[size_t(i)]);
        }
        break;
      case lyLab:
        IEColorConvertRow(src, 1, d, 4, width, &FParams);
        break;
    }
    return d;
  }

 private:
  void PackIndexes(const uint8_t* src, uint8_t* d) {
    const TTiffPageLayout& L = FL;
    const int32_t bits = L.Bits;
    if (bits < 8) std::memset(d, 0, size_t(L.RowBytes));
    for (int32_t x = 0; x < L.Width; ++x) {
      int32_t v;
      if (L.Format == ie8g || L.Format == ie8p)
        v = src[x];
      else if (L.Format == ie16g)
        v = (src[2 * x] | (src[2 * x + 1] << 8)) >> 8;
      else if (L.Layout == lyGray)
        v = IERGBToGray(reinterpret_cast<const TRGB*>(src)[x]);
      else
        v = std::max(0, L.Quantizer->ColorToIndex(reinterpret_cast<const TRGB*>(src)[x]));
      if (L.Layout == lyGray && bits < 8) v >>= (8 - bits);
      if (FAlpha) {
        // Gray and alpha after each other (8 bits only).
        d[2 * x] = uint8_t(v);
        d[2 * x + 1] = FAlpha->GetScanline(FAlphaRow)[x];
      } else if (bits == 8) {
        d[x] = uint8_t(v);
      } else {
        const int64_t bit = int64_t(x) * bits;
        d[bit >> 3] |= uint8_t((v & ((1 << bits) - 1)) << (8 - bits - (bit & 7)));
      }
    }
  }

  const TTiffPageLayout& FL;
  TIOParamsVals& FParams;
  std::vector<uint8_t> FRow;
  std::vector<uint8_t> FCmyk;
  TIEBitmap* FAlpha;
  int32_t FAlphaRow = 0;  // the row PackIndexes packs
};

// ---------------------------------------------------------------------------
// Stage 4: the strip encoder of the page's compression.  Rows in, coded
// bytes out to the (buffered) output stream.

class TTiffStripEncoder {
 public:
  virtual ~TTiffStripEncoder() = default;
  virtual void Row(const uint8_t* Row, int64_t Count) = 0;
  virtual void EndStrip() = 0;
  // Drops a strip cut short by a failure (no exception).
  virtual void Abandon() {}
};

class TPlainStrips : public TTiffStripEncoder {
 public:
  explicit TPlainStrips(TPageWriter& W) : FW(W) {}
  void Row(const uint8_t* Row, int64_t Count) override { FW.Put(Row, Count); }
  void EndStrip() override {}

 private:
  TPageWriter& FW;
};

class TCcittStrips : public TTiffStripEncoder {
 public:
  TCcittStrips(TPageWriter& W, const TTiffPageLayout& L)
      : FW(W),
        FEncoder(L.Compression == TiffCompression::CcittRle ? ccsModifiedHuffman
                 : L.Compression == TiffCompression::CcittT6 ? ccsGroup4
                 : L.TwoD                                     ? ccsGroup3TwoD
                                                              : ccsGroup3OneD,
                 L.Width, L.FillOrder) {}
  void Row(const uint8_t* Row, int64_t) override {
    FEncoder.EncodeRow(Row);
    // The strip buffer goes out in large pieces.
    if (FEncoder.Size() >= (int64_t(1) << 18)) Drain();
  }
  void EndStrip() override {
    FEncoder.FinishStrip();
    Drain();
  }

 private:
  void Drain() {
    FW.Put(FEncoder.Data(), FEncoder.Size());
    FEncoder.Clear();
  }
  TPageWriter& FW;
  TCcittEncoder FEncoder;
};

class TLzwStrips : public TTiffStripEncoder {
 public:
  TLzwStrips(TStream* Out, TTiffLzwEncodeProc Lzw) : FOut(Out), FLzw(Lzw) {}
  ~TLzwStrips() override { Abandon(); }
  void Row(const uint8_t* Row, int64_t Count) override { FLzw(Row, int32_t(Count), FOut, FState); }
  void EndStrip() override {
    if (FState) FLzw(nullptr, 0, FOut, FState);
    FState = nullptr;
  }
  void Abandon() override {
    if (!FState) return;
    try {
      FLzw(nullptr, 0, FOut, FState);
    } catch (const Exception&) {
    }
    FState = nullptr;
  }

 private:
  TStream* FOut;
  TTiffLzwEncodeProc FLzw;
  void* FState = nullptr;
};

class TPackBitsStrips : public TTiffStripEncoder {
 public:
  explicit TPackBitsStrips(TPageWriter& W) : FW(W) {}
  void Row(const uint8_t* Row, int64_t Count) override {
    FCoded.clear();
    TiffPackBitsRow(Row, Count, FCoded);
    FW.Put(FCoded.data(), int64_t(FCoded.size()));
  }
  void EndStrip() override {}

 private:
  TPageWriter& FW;
  std::vector<uint8_t> FCoded;
};

class TDeflateStrips : public TTiffStripEncoder {
 public:
  TDeflateStrips(TStream* Out, int32_t Level, TIEProgressRec& Progress)
      : FZip(std::make_unique<TZCompressionStream>(Out, Level)), FProgress(Progress) {}
  void Row(const uint8_t* Row, int64_t Count) override {
    if (FZip->Write(Row, Count) != Count) FProgress.SetAborting();
  }
  void EndStrip() override {
    FZip->Finish();
    FZip.reset();
  }
  void Abandon() override { FZip.reset(); }

 private:
  std::unique_ptr<TZCompressionStream> FZip;
  TIEProgressRec& FProgress;
};

std::unique_ptr<TTiffStripEncoder> MakeStripEncoder(const TTiffPageLayout& L, TPageWriter& W, TIOParamsVals& Params,
                                                     TIEProgressRec& Progress) {
  switch (L.Compression) {
    case TiffCompression::CcittRle:
    case TiffCompression::CcittT4:
    case TiffCompression::CcittT6:
      return std::make_unique<TCcittStrips>(W, L);
    case TiffCompression::Lzw:
      return std::make_unique<TLzwStrips>(W.S, L.Lzw);
    case TiffCompression::PackBits:
      return std::make_unique<TPackBitsStrips>(W);
    case TiffCompression::Deflate:
      return std::make_unique<TDeflateStrips>(W.S, int32_t(std::clamp(Params.TiffDeflateLevel + 1, 1, 3)), Progress);
    default:
      return std::make_unique<TPlainStrips>(W);
  }
}

// Encodes every row into strips; offsets and counts of the strips written.
void WriteStrips(TPageWriter& w, const TTiffPageLayout& L, TIOParamsVals& Params, TIEProgressRec& Progress,
                 int32_t& Rps, std::vector<uint32_t>& Offsets, std::vector<uint32_t>& Counts) {
  const int32_t height = L.Height;
  int32_t strips = 1;
  Rps = height;
  if (L.Compression != TiffCompression::Deflate && L.Compression != TiffCompression::Jpeg)
    TiffStripLayout(height, L.Bitmap->GetRowLen(), Rps, strips);
  if (L.Compression == TiffCompression::Jpeg) {
    // The whole image as one JPEG strip.
    if (!w.Align()) return;
    const int64_t start = w.Pos();
    TIOParamsVals jp;
    jp.JpegQuality = Params.TiffJpegQuality;
    jp.JpegColorSpace = L.JpegSpace;
    try {
      // TIFF readers take CMYK samples as ink, never inverted.
      JpegWriteStream(w.S, L.Bitmap, jp, Progress, /*InkCmyk=*/true);
    } catch (const Exception&) {
      Progress.SetAborting();
    }
    Offsets.push_back(uint32_t(start));
    Counts.push_back(uint32_t(w.Pos() - start));
    if (w.Pos() > int64_t(UINT32_MAX) - 16) Progress.SetAborting();
    return;
  }
  TTiffRowSource rows(L, Params);
  std::unique_ptr<TTiffStripEncoder> encoder;
  try {
    for (int32_t s = 0; s < strips && !Progress.IsAborting(); ++s) {
      if (!w.Align()) break;
      const int64_t start = w.Pos();
      encoder = MakeStripEncoder(L, w, Params, Progress);
      const int32_t first = s * Rps, last = std::min(height, first + Rps);
      for (int32_t y = first; y < last && !Progress.IsAborting(); ++y) {
        if (Progress.fOnProgress) Progress.Report(int32_t(int64_t(y) * 100 / height));
        encoder->Row(rows.Row(y), L.RowBytes);
      }
      if (Progress.IsAborting()) break;
      encoder->EndStrip();
      encoder.reset();
      Offsets.push_back(uint32_t(start));
      Counts.push_back(uint32_t(w.Pos() - start));
      if (w.Pos() > int64_t(UINT32_MAX) - 16) Progress.SetAborting();
    }
  } catch (const Exception&) {
    // A stream that refused the coded data: the page is not linked in.
    Progress.SetAborting();
  }
  if (encoder) encoder->Abandon();
}

}  // namespace

int32_t TiffWritePage(const TTiffWriteRequest& Request) {
  TStream* Stream = Request.Stream;
  TIEBitmap* Bitmap = Request.Bitmap;
  TIEProgressRec& Progress = *Request.Progress;
  TIOParamsVals& Params = *Request.Params;
  const bool Append = Request.Append;
  if (!Stream || !Bitmap || Bitmap->IsEmpty()) {
    Progress.SetAborting();
    return 0;
  }
  // ---- layout ----
  TTiffPageLayout L;
  if (!ChooseLayout(Bitmap, Params, L)) {
    Progress.SetAborting();
    return 0;
  }

  // ---- header or insertion point ----
  const int64_t base = Stream->GetPosition();
  int64_t field = 0;
  uint32_t oldNext = 0;
  int32_t pages = 0;
  TTiffAppendPoint* hint = Request.AppendPoint;
  if (Append) {
    if (hint && hint->Known && hint->Base == base && Params.TiffPageIndex >= hint->Pages) {
      // Appending after the last page the caller wrote: no walk of the chain.
      field = hint->Field;
      oldNext = 0;
      pages = hint->Pages;
    } else if (!FindInsertionPoint(Stream, base, Params.TiffPageIndex, field, oldNext, pages)) {
      Progress.SetAborting();
      return 0;
    }
    Stream->Seek(0, soEnd);
  }
  // Remembered chains of this file are stale from here on.
  TiffForgetChainsOf(Stream);
  // Everything below goes out through one write buffer.
  TIEBufferedWriteStream out(Stream);
  TPageWriter w(&out, base, Progress);
  if (!Append) {
    const uint8_t placeholder[8] = {'I', 'I', 42, 0, 0, 0, 0, 0};
    w.Put(placeholder, 8);
  }

  // ---- EXIF data of the page (camera texts, resolution, EXIF and GPS
  // directories), from the EXIF block of the parameters ----
  if (Params.ExifPresent) WriteExifTags(w, Params);
  WriteTagSet(w, L, Params);

  // ---- strips ----
  int32_t rps = L.Height;
  std::vector<uint32_t> offsets, counts;
  const TIEDataAccessSet access = L.Bitmap->GetAccess();
  L.Bitmap->SetAccess(iedRead);
  WriteStrips(w, L, Params, Progress, rps, offsets, counts);
  L.Bitmap->SetAccess(access);
  if (Progress.IsAborting()) return 0;
  w.Long(TiffTag::RowsPerStrip, uint32_t(rps));
  if (offsets.size() == 1) {
    w.Long(TiffTag::StripOffsets, offsets[0]);
    w.Long(TiffTag::StripByteCounts, counts[0]);
  } else {
    w.Longs(TiffTag::StripOffsets, offsets);
    w.Longs(TiffTag::StripByteCounts, counts);
  }

  // ---- directory and link ----
  const uint32_t ifd = w.WriteIfd(Append ? oldNext : 0);
  const size_t entryCount = w.FEntries.size();
  // Nothing is linked in unless every byte of the page reached the file.
  if (!out.Flush()) Progress.SetAborting();
  if (!ifd || Progress.IsAborting()) return 0;
  const int64_t end = out.GetPosition();
  uint8_t link[4];
  for (int i = 0; i < 4; ++i) link[i] = uint8_t(ifd >> (8 * i));
  out.Seek(Append ? field : base + 4, soBeginning);
  w.Put(link, 4);
  out.Seek(end, soBeginning);
  if (!out.Flush()) Progress.SetAborting();
  if (Progress.IsAborting()) return 0;
  if (hint) {
    // The new page's next-directory field, for the next page appended; a
    // page inserted before others leaves the end unknown.
    hint->Known = !Append || oldNext == 0;
    hint->Base = base;
    hint->Field = base + int64_t(ifd) + 2 + int64_t(entryCount) * 12;
    hint->Pages = Append ? pages + 1 : 1;
  }

  // What was written: the compression and sample layout actually chosen.
  Params.BitsPerSample = L.Bits;
  Params.SamplesPerPixel = L.Samples;
  Params.TiffPhotometric = L.Photometric == 8 ? ietpCIELab : TIETIFFPhotometric(L.Photometric);
  if (L.Compression == TiffCompression::None && Params.TiffCompression != ietcNone) Params.TiffCompression = ietcNone;
  return Append ? pages + 1 : 1;
}

int32_t TiffWriteStream(TStream* Stream, bool Append, TIEBitmap* Bitmap, TIOParamsVals& Params,
                        TIEProgressRec& Progress) {
  TTiffWriteRequest request;
  request.Stream = Stream;
  request.Append = Append;
  request.Bitmap = Bitmap;
  request.Params = &Params;
  request.Progress = &Progress;
  return TiffWritePage(request);
}

bool TiffInjectExif(TStream* SourceStream, TStream* TargetStream, const std::string& SourceFileName,
                    TIOParamsVals* Params, int32_t PageIndex, const std::string& TargetFileName) {
  if (!Params) return true;
  std::unique_ptr<uint8_t[]> owned;
  int32_t size = 0;
  IEEncodeExifBlock(Params, owned, size, false);
  uint8_t* block = owned.get();
  TIETIFFHandler exif;
  if (block && size > 0) {
    TIEMemStream ms(block, size);
    exif.ReadStream(&ms);
  }
  const int64_t start = SourceStream ? SourceStream->GetPosition() : 0;
  std::unique_ptr<TIETIFFHandler> file;
  if (SourceStream)
    file = std::make_unique<TIETIFFHandler>(SourceStream);
  else
    file = std::make_unique<TIETIFFHandler>(SourceFileName);
  static const uint16_t kTags[] = {TiffTag::Make,
                                   TiffTag::Model,
                                   TiffTag::DateTime,
                                   TiffTag::Orientation,
                                   TiffTag::XResolution,
                                   TiffTag::YResolution,
                                   TiffTag::ResolutionUnit,
                                   TiffTag::Software,
                                   TiffTag::Artist,
                                   TiffTag::WhitePoint,
                                   TiffTag::YCbCrPositioning,
                                   TiffTag::PrimaryChromaticities,
                                   TiffTag::YCbCrCoefficients,
                                   TiffTag::ReferenceBlackWhite,
                                   TiffTag::Copyright,
                                   TiffTag::Rating,
                                   TiffTag::XpTitle,
                                   TiffTag::XpComment,
                                   TiffTag::XpAuthor,
                                   TiffTag::XpKeywords,
                                   TiffTag::XpSubject,
                                   TiffTag::ExifIfd,
                                   TiffTag::GpsIfd};
  if (!file->GetBigEndian() && exif.GetPagesCount() > 0) {
    for (uint16_t tag : kTags) {
      const int32_t i = exif.FindTag(0, tag);
      if (i >= 0) file->CopyTag(0, i, PageIndex, &exif);
    }
  }
  if (TargetStream) {
    if (TargetStream == SourceStream) TargetStream->Seek(start, soBeginning);
    file->WriteStream(TargetStream);
  } else {
    file->WriteFile(TargetFileName);
  }
  return true;
}
