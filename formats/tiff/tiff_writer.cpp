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

int32_t TiffWriteStream(TStream* Stream, bool Append, TIEBitmap* Bitmap, TIOParamsVals& Params,
                        TIEProgressRec& Progress) {
  if (!Stream || !Bitmap || Bitmap->IsEmpty()) {
    Progress.SetAborting();
    return 0;
  }
  // ---- layout ----
  TIEBitmap* bmp = Bitmap;
  std::unique_ptr<TIEBitmap> work;
  const bool wantBilevel = Params.BitsPerSample == 1 && Params.SamplesPerPixel == 1;
  if (!wantBilevel && bmp->GetPixelFormat() == ie1g) {
    work = TIEBitmap::CreateSized(bmp->GetWidth(), bmp->GetHeight(), ie24RGB);
    work->ConvertFrom(bmp);
    bmp = work.get();
  } else if (wantBilevel && bmp->GetPixelFormat() != ie1g) {
    work = TIEBitmap::CreateSized(bmp->GetWidth(), bmp->GetHeight(), ie1g);
    work->ConvertFrom(bmp);
    bmp = work.get();
  }
  if (bmp->IsEmpty()) {
    Progress.SetAborting();
    return 0;
  }
  const TIEPixelFormat fmt = bmp->GetPixelFormat();
  const int32_t width = bmp->GetWidth(), height = bmp->GetHeight();
  int32_t bits = 8;
  TLayout layout = lyRGB;
  std::vector<TRGB> palette;
  std::unique_ptr<TIEQuantizer> quantizer;
  switch (fmt) {
    case ie1g:
      layout = lyBilevel;
      bits = 1;
      break;
    case ie16g:
      layout = Params.SamplesPerPixel == 1 && Params.BitsPerSample == 16 ? lyGray16 : lyGray;
      bits = layout == lyGray16 ? 16 : 8;
      break;
    case ie8g:
      layout = lyGray;
      break;
    case ie8p:
      layout = lyPalette;
      palette.assign(size_t(std::max(bmp->GetPaletteLen(), 0)), TRGB());
      for (size_t i = 0; i < palette.size(); ++i) palette[i] = bmp->GetPaletteColor(int32_t(i));
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
      palette.assign(size_t(1) << bits, TRGB());
      quantizer = std::make_unique<TIEQuantizer>(bmp, palette, int32_t(palette.size()));
      layout = quantizer->GetIsGray() ? lyGray : lyPalette;
    } else if (Params.TiffPhotometric == ietpCMYK) {
      layout = lyCMYK;
    } else if (Params.TiffPhotometric == ietpCIELab) {
      layout = lyLab;
    }
  }
  if (layout == lyPalette && fmt == ie8p) bits = 8;

  // ---- compression ----
  uint16_t compression = TiffCompression::None;
  bool ccitt = false, twoD = false;
  int32_t predictor = TiffPredictor::None;
  TTiffLzwEncodeProc lzw = Params.TiffLzwEncoder ? Params.TiffLzwEncoder
                                                 : (TiffLzwEncodeHook ? TiffLzwEncodeHook : TiffLzwEncode);
  switch (Params.TiffCompression) {
    case ietcHuffman:
      compression = TiffCompression::CcittRle;
      ccitt = true;
      break;
    case ietcG3Fax1D:
      compression = TiffCompression::CcittT4;
      ccitt = true;
      break;
    case ietcG3Fax2D:
      compression = TiffCompression::CcittT4;
      ccitt = true;
      twoD = true;
      break;
    case ietcG4Fax:
      compression = TiffCompression::CcittT6;
      ccitt = true;
      break;
    case ietcLZW:
      compression = TiffCompression::Lzw;
      predictor = TiffPredictor::Horizontal;
      break;
    case ietcPackBits:
      compression = TiffCompression::PackBits;
      break;
    case ietcZIP:
    case ietcDeflate:
      compression = TiffCompression::Deflate;
      break;
    case ietcJPEG:
      // Whole-image JPEG strip for colour and gray pages.
      if (fmt == ie24RGB || fmt == ie8g) compression = TiffCompression::Jpeg;
      break;
    default:
      compression = TiffCompression::None;
      break;
  }
  uint8_t jpegSpace = Params.TiffJpegColorSpace;
  if (compression == TiffCompression::Jpeg) {
    if (fmt == ie8g) jpegSpace = ioJPEG_GRAYLEV;
    if (jpegSpace == ioJPEG_YCbCrK) jpegSpace = ioJPEG_RGB;
    switch (jpegSpace) {
      case ioJPEG_GRAYLEV: layout = lyGray; bits = 8; break;
      case ioJPEG_CMYK: layout = lyCMYK; bits = 8; break;
      default: layout = lyRGB; bits = 8; break;
    }
    quantizer.reset();
  }
  if (ccitt && layout != lyBilevel) {
    ccitt = twoD = false;
    compression = TiffCompression::None;
  }
  const bool alphaSample =
      layout == lyRGB && compression != TiffCompression::Jpeg && bmp->HasAlphaChannel() &&
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
  if (!(layout == lyRGB && !alphaSample && compression == TiffCompression::Lzw))
    predictor = TiffPredictor::None;
  const int32_t fillOrder = ccitt && Params.TiffFillOrder == TiffFillOrder::Lsb2Msb ? 2 : 1;
  int32_t samples = 1;
  switch (layout) {
    case lyRGB: samples = alphaSample ? 4 : 3; break;
    case lyCMYK: samples = 4; break;
    case lyLab:
    case lyRGB48: samples = 3; break;
    default: samples = 1; break;
  }
  uint16_t photometric = 2;
  switch (layout) {
    case lyBilevel: photometric = ccitt ? 0 : 1; break;
    case lyGray:
    case lyGray16: photometric = 1; break;
    case lyPalette: photometric = 3; break;
    case lyCMYK: photometric = 5; break;
    case lyLab: photometric = 8; break;
    default: photometric = 2; break;
  }
  if (compression == TiffCompression::Jpeg && jpegSpace == ioJPEG_YCbCr) {
    photometric = 6;
    samples = 3;
  }
  // Row bytes as written.
  const int64_t rowBytes = (int64_t(width) * samples * bits + 7) / 8;

  // ---- header or insertion point ----
  const int64_t base = Stream->GetPosition();
  int64_t field = 0;
  uint32_t oldNext = 0;
  int32_t pages = 0;
  if (Append) {
    if (!FindInsertionPoint(Stream, base, Params.TiffPageIndex, field, oldNext, pages)) {
      Progress.SetAborting();
      return 0;
    }
    Stream->Seek(0, soEnd);
  }
  TPageWriter w(Stream, base, Progress);
  if (!Append) {
    const uint8_t placeholder[8] = {'I', 'I', 42, 0, 0, 0, 0, 0};
    w.Put(placeholder, 8);
  }

  // ---- EXIF data of the page (camera texts, resolution, EXIF and GPS
  // directories), from the EXIF block of the parameters ----
  if (Params.ExifPresent) WriteExifTags(w, Params);

  // ---- tags that do not depend on the pixels ----
  w.Long(TiffTag::NewSubfileType, 0);
  w.Long(TiffTag::ImageWidth, uint32_t(width));
  w.Long(TiffTag::ImageLength, uint32_t(height));
  w.Shorts(TiffTag::BitsPerSample, std::vector<uint16_t>(size_t(samples), uint16_t(bits)));
  w.Short(TiffTag::Compression, compression);
  w.Short(TiffTag::Photometric, photometric);
  w.Text(TiffTag::DocumentName, Params.TiffDocumentName);
  if (!w.Has(TiffTag::ImageDescription)) w.Text(TiffTag::ImageDescription, Params.TiffImageDescription);
  if (ccitt) {
    w.Short(TiffTag::FillOrder, uint16_t(fillOrder));
    w.Long(TiffTag::CleanFaxData, 0);
  }
  w.Short(TiffTag::SamplesPerPixel, uint16_t(samples));
  if (!w.Has(TiffTag::XResolution))
    w.Rational(TiffTag::XResolution, Params.DpiX > 0 ? Params.DpiX : IEDefaultDpiX);
  if (!w.Has(TiffTag::YResolution))
    w.Rational(TiffTag::YResolution, Params.DpiY > 0 ? Params.DpiY : IEDefaultDpiY);
  w.Short(TiffTag::PlanarConfig, 1);
  w.Text(TiffTag::PageName, Params.TiffPageName);
  if (Params.TiffXPosition != 0) w.Rational(TiffTag::XPosition, Params.TiffXPosition);
  if (Params.TiffYPosition != 0) w.Rational(TiffTag::YPosition, Params.TiffYPosition);
  if (compression == TiffCompression::CcittT4) w.Long(TiffTag::T4Options, twoD ? 1 : 0);
  if (compression == TiffCompression::CcittT6) w.Long(TiffTag::T6Options, 0);
  if (!w.Has(TiffTag::ResolutionUnit)) w.Short(TiffTag::ResolutionUnit, 2);
  if (Params.TiffPageNumber >= 0 || Params.TiffPageTotal >= 0) {
    w.Shorts(TiffTag::PageNumber,
             {uint16_t(std::max(Params.TiffPageNumber, 0)), uint16_t(std::max(Params.TiffPageTotal, 0))});
  }
  if (predictor == TiffPredictor::Horizontal) w.Short(TiffTag::Predictor, 2);
  if (photometric == 6) w.Shorts(TiffTag::YCbCrSubsampling, {2, 2});  // the JPEG codec's sampling
  if (alphaSample) w.Short(TiffTag::ExtraSamples, 2);                 // unassociated (straight) alpha
  if (layout == lyPalette) {
    // 2^bits entries per channel, whatever the number of colours used.
    const size_t n = size_t(1) << bits;
    std::vector<uint16_t> map(3 * n, 0);
    for (size_t i = 0; i < n && i < palette.size(); ++i) {
      map[i] = uint16_t(palette[i].r * 257);
      map[n + i] = uint16_t(palette[i].g * 257);
      map[2 * n + i] = uint16_t(palette[i].b * 257);
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
  if (Params.InputIccProfile && Params.InputIccProfile->IsValid() &&
      !Params.InputIccProfile->GetApplied() && Params.InputIccProfile->GetRawLength() > 0)
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

  // ---- strips ----
  int32_t rps = height, strips = 1;
  if (compression != TiffCompression::Deflate && compression != TiffCompression::Jpeg)
    TiffStripLayout(height, bmp->GetRowLen(), rps, strips);
  std::vector<uint32_t> offsets, counts;
  std::vector<uint8_t> row(size_t(rowBytes) + 16), coded;
  std::unique_ptr<uint8_t[]> refLine;
  int32_t pendingBits = 0;
  uint8_t pendingByte = 0;
  bool ccittError = false;
  void* lzwState = nullptr;
  std::unique_ptr<TZCompressionStream> zip;
  const TIEDataAccessSet access = bmp->GetAccess();
  bmp->SetAccess(iedRead);
  TIEBitmap* alpha = alphaSample ? bmp->GetAlphaChannel() : nullptr;
  std::vector<uint8_t> cmykRow(size_t(width) * 4 + 16);

  auto buildRow = [&](int32_t y) {
    const uint8_t* src = bmp->GetScanline(y);
    uint8_t* d = row.data();
    std::memset(d, 0, row.size());
    switch (layout) {
      case lyBilevel:
        for (int64_t i = 0; i < rowBytes; ++i) d[i] = ccitt ? uint8_t(~src[i]) : src[i];
        break;
      case lyGray16:
        std::memcpy(d, src, size_t(rowBytes));
        break;
      case lyGray:
      case lyPalette: {
        for (int32_t x = 0; x < width; ++x) {
          int32_t v;
          if (fmt == ie8g || fmt == ie8p)
            v = src[x];
          else if (fmt == ie16g)
            v = (src[2 * x] | (src[2 * x + 1] << 8)) >> 8;
          else if (layout == lyGray)
            v = IERGBToGray(reinterpret_cast<const TRGB*>(src)[x]);
          else
            v = std::max(0, quantizer->ColorToIndex(reinterpret_cast<const TRGB*>(src)[x]));
          if (layout == lyGray && bits < 8) v >>= (8 - bits);
          if (bits == 8) {
            d[x] = uint8_t(v);
          } else {
            const int64_t bit = int64_t(x) * bits;
            d[bit >> 3] |= uint8_t((v & ((1 << bits) - 1)) << (8 - bits - (bit & 7)));
          }
        }
        break;
      }
      case lyRGB: {
        const TRGB* p = reinterpret_cast<const TRGB*>(src);
        const uint8_t* a = alpha ? alpha->GetScanline(y) : nullptr;
        uint8_t prev[3] = {0, 0, 0};
        for (int32_t x = 0; x < width; ++x) {
          uint8_t* o = d + int64_t(x) * samples;
          const uint8_t c[3] = {p[x].r, p[x].g, p[x].b};
          for (int k = 0; k < 3; ++k)
            o[k] = predictor == TiffPredictor::Horizontal ? uint8_t(c[k] - prev[k]) : c[k];
          std::memcpy(prev, c, 3);
          if (a) o[3] = a[x];
        }
        break;
      }
      case lyCMYK:
        if (fmt == ieCMYK) {
          for (int64_t i = 0; i < rowBytes; ++i) d[i] = uint8_t(255 - src[i]);
        } else {
          IEColorConvertRow(src, 1, cmykRow.data(), 2, width, &Params);
          for (int64_t i = 0; i < rowBytes; ++i) d[i] = uint8_t(255 - cmykRow[size_t(i)]);
        }
        break;
      case lyLab:
        IEColorConvertRow(src, 1, d, 4, width, &Params);
        break;
      case lyRGB48:
        std::memcpy(d, src, size_t(rowBytes));
        break;
    }
  };

  int64_t stripStart = 0;
  if (compression == TiffCompression::Deflate) {
    if (!w.Align()) return 0;
    stripStart = w.Pos();
    zip = std::make_unique<TZCompressionStream>(Stream, int32_t(std::clamp(Params.TiffDeflateLevel + 1, 1, 3)));
  }
  if (compression == TiffCompression::Jpeg) {
    // The whole image as one JPEG strip.
    if (w.Align()) {
      stripStart = w.Pos();
      TIOParamsVals jp;
      jp.JpegQuality = Params.TiffJpegQuality;
      jp.JpegColorSpace = jpegSpace;
      try {
        // TIFF readers take CMYK samples as ink, never inverted.
        JpegWriteStream(Stream, bmp, jp, Progress, /*InkCmyk=*/true);
      } catch (const Exception&) {
        Progress.SetAborting();
      }
      offsets.push_back(uint32_t(stripStart));
      counts.push_back(uint32_t(w.Pos() - stripStart));
      if (w.Pos() > int64_t(UINT32_MAX) - 16) Progress.SetAborting();
    }
    strips = 0;
  }
  try {
    for (int32_t s = 0; s < strips && !Progress.IsAborting(); ++s) {
      if (compression != TiffCompression::Deflate) {
        if (!w.Align()) break;
        stripStart = w.Pos();
      }
      const int32_t first = s * rps, last = std::min(height, first + rps);
      for (int32_t y = first; y < last && !Progress.IsAborting(); ++y) {
        if (Progress.fOnProgress) Progress.Report(int32_t(int64_t(y) * 100 / height));
        buildRow(y);
        switch (compression) {
          case TiffCompression::None:
            w.Put(row.data(), rowBytes);
            break;
          case TiffCompression::CcittRle:
            CcittEncodeMhRow(row.data(), width, Stream, fillOrder, ccittError);
            break;
          case TiffCompression::CcittT4:
            if (twoD)
              CcittEncodeG3Line(row.data(), width, Stream, fillOrder, ccittError, refLine, pendingBits,
                                pendingByte);
            else
              CcittEncode1DLine(row.data(), width, Stream, fillOrder, ccittError, pendingBits, pendingByte);
            break;
          case TiffCompression::CcittT6:
            CcittEncodeG4Line(row.data(), width, Stream, fillOrder, ccittError, refLine, pendingBits,
                              pendingByte);
            break;
          case TiffCompression::Lzw:
            lzw(row.data(), int32_t(rowBytes), Stream, lzwState);
            break;
          case TiffCompression::PackBits:
            coded.clear();
            TiffPackBitsRow(row.data(), rowBytes, coded);
            w.Put(coded.data(), int64_t(coded.size()));
            break;
          case TiffCompression::Deflate:
            if (zip->Write(row.data(), rowBytes) != rowBytes) Progress.SetAborting();
            break;
        }
        if (ccittError) Progress.SetAborting();
      }
      // End of the strip.
      switch (compression) {
        case TiffCompression::CcittT4:
          if (twoD)
            CcittEncodeG3Line(nullptr, width, Stream, fillOrder, ccittError, refLine, pendingBits,
                              pendingByte);
          else
            CcittEncode1DLine(nullptr, width, Stream, fillOrder, ccittError, pendingBits, pendingByte);
          break;
        case TiffCompression::CcittT6:
          CcittEncodeG4Line(nullptr, width, Stream, fillOrder, ccittError, refLine, pendingBits,
                            pendingByte);
          break;
        case TiffCompression::Lzw:
          lzw(nullptr, 0, Stream, lzwState);
          break;
        case TiffCompression::Deflate:
          zip->Finish();
          zip.reset();
          break;
      }
      if (ccittError) Progress.SetAborting();
      refLine.reset();
      pendingBits = 0;
      pendingByte = 0;
      offsets.push_back(uint32_t(stripStart));
      counts.push_back(uint32_t(w.Pos() - stripStart));
      if (w.Pos() > int64_t(UINT32_MAX) - 16) Progress.SetAborting();
    }
  } catch (const Exception&) {
    // A stream that refused the coded data: the page is not linked in.
    if (lzwState) {
      try {
        lzw(nullptr, 0, Stream, lzwState);
      } catch (const Exception&) {
      }
    }
    Progress.SetAborting();
  }
  if (lzwState) {
    try {
      lzw(nullptr, 0, Stream, lzwState);
    } catch (const Exception&) {
    }
  }
  zip.reset();
  bmp->SetAccess(access);
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
  if (!ifd || Progress.IsAborting()) return 0;
  const int64_t end = Stream->GetPosition();
  uint8_t link[4];
  for (int i = 0; i < 4; ++i) link[i] = uint8_t(ifd >> (8 * i));
  if (Append) {
    Stream->Seek(field, soBeginning);
    w.Put(link, 4);
  } else {
    Stream->Seek(base + 4, soBeginning);
    w.Put(link, 4);
  }
  Stream->Seek(end, soBeginning);
  if (Progress.IsAborting()) return 0;

  // What was written.
  Params.BitsPerSample = bits;
  Params.SamplesPerPixel = samples;
  Params.TiffPhotometric = photometric == 8 ? ietpCIELab : TIETIFFPhotometric(photometric);
  if (compression == TiffCompression::None && Params.TiffCompression != ietcNone && !(ccitt))
    Params.TiffCompression = ietcNone;
  return Append ? pages + 1 : 1;
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
