#include <atomic>
#include <algorithm>
#include <cstring>

#include "formats/jpeg/jpeg_codec.h"
#include "formats/psd/psd_codec.h"
#include "formats/psd/psd_packbits.h"
#include "foundations/icc_profile.h"
#include "foundations/ie_streams.h"
#include "foundations/iptc.h"
#include "foundations/settings.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {

// Raised inside the reader when the file ends early or a length does not fit;
// caught at the entry point and turned into the abort flag.
class EPsdBadData : public Exception {
 public:
  using Exception::Exception;
};

[[noreturn]] void Bad() { throw EPsdBadData("Damaged Photoshop data"); }

class TPsdInput {
 public:
  explicit TPsdInput(TStream* S) : FStream(S), FSize(S->GetSize()) {}
  int64_t Pos() { return FStream->GetPosition(); }
  int64_t Size() const { return FSize; }
  int64_t Remaining() { return std::max<int64_t>(0, FSize - Pos()); }
  void Read(void* Buf, int64_t N) {
    if (N < 0 || FStream->Read(Buf, N) != N) Bad();
  }
  uint8_t Byte() {
    uint8_t b;
    Read(&b, 1);
    return b;
  }
  uint16_t Word() {
    uint8_t b[2];
    Read(b, 2);
    return uint16_t(b[0] << 8 | b[1]);
  }
  uint32_t Long() {
    uint8_t b[4];
    Read(b, 4);
    return uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
  }
  std::vector<uint8_t> Bytes(int64_t N) {
    if (N < 0 || N > Remaining()) Bad();
    std::vector<uint8_t> v(static_cast<size_t>(N));
    Read(v.data(), N);
    return v;
  }
  // Moves to an absolute position inside the file.
  void SeekTo(int64_t P) {
    if (P < 0 || P > FSize) Bad();
    FStream->Seek(P, soBeginning);
  }
  void Skip(int64_t N) { SeekTo(Pos() + N); }

 private:
  TStream* FStream;
  int64_t FSize;
};

// Pixel format of a mode and depth; ieNoFormat when this reader cannot
// decode the combination.
TIEPixelFormat FormatOf(int32_t Mode, int32_t Depth) {
  switch (Mode) {
    case psdBitmap: return Depth == 1 ? ie1g : ieNoFormat;
    case psdGrayscale:
    case psdDuotone: return Depth == 8 ? ie8g : Depth == 16 ? ie16g : ieNoFormat;
    case psdMultichannel: return Depth == 8 ? ie8g : ieNoFormat;
    case psdIndexed: return Depth == 8 ? ie8p : ieNoFormat;
    case psdRGB: return Depth == 8 ? ie24RGB : Depth == 16 ? ieRGB48 : ieNoFormat;
    case psdCMYK: return Depth == 8 || Depth == 16 ? ieCMYK : ieNoFormat;
    case psdLab: return Depth == 8 || Depth == 16 ? ieCIELab : ieNoFormat;
    default: return ieNoFormat;
  }
}

// Colour channels of a mode; the channel after them (or -1) is alpha.
int32_t ColourChannels(int32_t Mode) {
  switch (Mode) {
    case psdRGB:
    case psdLab: return 3;
    case psdCMYK: return 4;
    default: return 1;
  }
}

struct TChannelJob {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t Mode = 0;
  int32_t Depth = 0;
  int32_t Channel = 0;
  const std::vector<uint8_t>* ColorData = nullptr;
  int32_t TransparentIndex = -1;
};

class TPsdReader {
 public:
  TPsdReader(TStream* S, TIOParamsVals& P, TIEProgressRec& Pr) : In(S), Params(P), Progress(Pr) {}

  void Run(TIEBitmap* Bitmap, bool LoadLayers, TIEPsdLayerList* Layers);

 private:
  void ReadImageResources(TIEBitmap* Bitmap, bool& LoadLayers);
  void ApplyResource(uint16_t Id, const std::vector<uint8_t>& Data, TIEBitmap* Bitmap, bool& LoadLayers);
  void ReadLayers(bool LoadLayers, TIEPsdLayerList* Layers);
  std::vector<uint32_t> ReadRowTable(int32_t Compression, int64_t Rows, int64_t RowBytes);
  void DecodeChannel(TIEBitmap* Bitmap, const TChannelJob& Job, int32_t Compression,
                     const std::vector<uint32_t>& Counts, size_t& RowIndex);

  TPsdInput In;
  TIOParamsVals& Params;
  TIEProgressRec& Progress;
  int32_t Channels = 0, Height = 0, Width = 0, Depth = 0, Mode = 0;
  std::vector<uint8_t> ColorData;
  int32_t TransparentIndex = -1;
  bool ThumbnailLoaded = false;
  bool ProfileLoaded = false;
};

std::vector<uint32_t> TPsdReader::ReadRowTable(int32_t Compression, int64_t Rows, int64_t RowBytes) {
  if (Compression == 0) {
    // Raw rows: the whole channel must be in the file.
    if (Rows * RowBytes > In.Remaining()) Bad();
    return std::vector<uint32_t>(static_cast<size_t>(Rows), static_cast<uint32_t>(RowBytes));
  }
  if (Compression != 1) Bad();
  // Each row needs its table entry and at least the packets that can fill it.
  if (Rows * (2 + PsdPackBitsMinimum(RowBytes)) > In.Remaining()) Bad();
  std::vector<uint32_t> t(static_cast<size_t>(Rows));
  for (auto& c : t) c = In.Word();
  return t;
}

void TPsdReader::DecodeChannel(TIEBitmap* Bitmap, const TChannelJob& Job, int32_t Compression,
                               const std::vector<uint32_t>& Counts, size_t& RowIndex) {
  const TIEPixelFormat pf = FormatOf(Job.Mode, Job.Depth);
  if (pf == ieNoFormat) return;
  const int32_t colours = ColourChannels(Job.Mode);
  const bool isAlpha = Job.Channel == -1 || (Job.Channel == colours && Job.Mode != psdBitmap &&
                                             Job.Mode != psdIndexed);
  if (!isAlpha && (Job.Channel < 0 || Job.Channel >= colours)) return;
  if (Job.Mode == psdIndexed && Job.Channel != 0) return;
  if (!Bitmap->Allocate(Job.Width, Job.Height, pf)) Bad();
  const int64_t rowBytes = (int64_t(Job.Width) * Job.Depth + 7) / 8;
  std::vector<uint8_t> row(static_cast<size_t>(rowBytes));
  std::vector<uint8_t> packed;

  if (Job.Mode == psdIndexed && Job.ColorData && Job.ColorData->size() == 768) {
    const auto& c = *Job.ColorData;
    for (int32_t i = 0; i < 256; ++i) Bitmap->SetPaletteColor(i, TRGB{c[512 + i], c[256 + i], c[i]});
  }
  TIEBitmap* alpha = isAlpha || (Job.Mode == psdIndexed && Job.TransparentIndex >= 0)
                         ? Bitmap->GetAlphaChannel()
                         : nullptr;

  for (int32_t y = 0; y < Job.Height; ++y) {
    if (RowIndex >= Counts.size()) Bad();
    const uint32_t count = Counts[RowIndex++];
    if (Compression == 0) {
      In.Read(row.data(), rowBytes);
    } else {
      if (count > In.Remaining()) Bad();
      packed.resize(count);
      In.Read(packed.data(), count);
      PsdUnpackBitsRow(packed.data(), count, row.data(), rowBytes);
    }
    if (Progress.IsAborting()) return;
    uint8_t* dst = Bitmap->GetScanline(y);
    const int32_t w = Job.Width;
    if (isAlpha) {
      uint8_t* a = alpha->GetScanline(y);
      for (int32_t x = 0; x < w; ++x) a[x] = Job.Depth == 16 ? row[2 * x] : row[x];
      continue;
    }
    const int32_t c = Job.Channel;
    switch (pf) {
      case ie1g:
        for (int64_t i = 0; i < rowBytes; ++i) dst[i] = uint8_t(~row[i]);
        break;
      case ie8g:
        std::memcpy(dst, row.data(), static_cast<size_t>(w));
        break;
      case ie8p:
        std::memcpy(dst, row.data(), static_cast<size_t>(w));
        if (alpha) {
          uint8_t* a = alpha->GetScanline(y);
          for (int32_t x = 0; x < w; ++x) a[x] = row[x] == Job.TransparentIndex ? 0 : 255;
        }
        break;
      case ie16g:
        for (int32_t x = 0; x < w; ++x) {
          const uint16_t v = uint16_t(row[2 * x] << 8 | row[2 * x + 1]);
          std::memcpy(dst + 2 * x, &v, 2);
        }
        break;
      case ie24RGB:
        for (int32_t x = 0; x < w; ++x) dst[3 * x + 2 - c] = row[x];
        break;
      case ieRGB48:
        for (int32_t x = 0; x < w; ++x) {
          const uint16_t v = uint16_t(row[2 * x] << 8 | row[2 * x + 1]);
          std::memcpy(dst + 6 * x + 2 * c, &v, 2);
        }
        break;
      case ieCMYK:
        for (int32_t x = 0; x < w; ++x) dst[4 * x + c] = Job.Depth == 16 ? row[2 * x] : row[x];
        break;
      case ieCIELab:
        for (int32_t x = 0; x < w; ++x) {
          const uint8_t v = Job.Depth == 16 ? row[2 * x] : row[x];
          dst[3 * x + c] = c == 0 ? v : uint8_t(v - 128);
        }
        break;
      default:
        break;
    }
  }
}

void TPsdReader::ApplyResource(uint16_t Id, const std::vector<uint8_t>& Data, TIEBitmap* Bitmap,
                               bool& LoadLayers) {
  auto be32 = [&](size_t o) {
    return int64_t(uint32_t(Data[o]) << 24 | uint32_t(Data[o + 1]) << 16 | uint32_t(Data[o + 2]) << 8 |
                   Data[o + 3]);
  };
  switch (Id) {
    case psdResResolution:
      if (Data.size() >= 12) {
        const int32_t dx = int32_t(be32(0) / 65536);
        const int32_t dy = int32_t(be32(8) / 65536);
        if (dx > 0) Params.SetDpiX(dx);
        if (dy > 0) Params.SetDpiY(dy);
      }
      break;
    case psdResIptc:
      if (!Params.IptcRecords) Params.IptcRecords = std::make_unique<TIEIPTCInfoList>();
      Params.IptcRecords->LoadFromBuffer(Data.data(), int32_t(Data.size()));
      break;
    case psdResIccProfile:
      Params.GetInputIccProfile()->LoadFromBuffer(Data.data(), int32_t(Data.size()));
      ProfileLoaded = true;
      break;
    case psdResTransparentIndex:
      if (Data.size() >= 2) TransparentIndex = Data[0] << 8 | Data[1];
      break;
    case psdResXmp:
      Params.XmpPacket.assign(reinterpret_cast<const char*>(Data.data()), Data.size());
      break;
    case psdResThumbnail: {
      if (Data.size() <= 28) break;
      std::vector<uint8_t> jpeg(Data.begin() + 28, Data.end());
      TIEMemStream ms(jpeg.data(), int64_t(jpeg.size()));
      if (!Params.ExifThumbnail) Params.ExifThumbnail = std::make_unique<TIEBitmap>();
      TIOParamsVals tmp;
      std::atomic<bool> thumbAbort{false};
      TIEProgressRec p;
      p.Aborting = &thumbAbort;
      JpegReadStream(&ms, Params.ExifThumbnail.get(), tmp, p, {.InvertCmyk = true});
      if (thumbAbort) Params.ExifThumbnail->FreeImage();
      if (Params.LoadExifThumbnail && Bitmap && !thumbAbort) {
        LoadLayers = false;
        Bitmap->Assign(Params.ExifThumbnail.get());
        ThumbnailLoaded = true;
      }
      break;
    }
    default:
      break;
  }
}

void TPsdReader::ReadImageResources(TIEBitmap* Bitmap, bool& LoadLayers) {
  const int64_t length = In.Long();
  const int64_t start = In.Pos();
  const int64_t end = start + length;
  if (end > In.Size()) Bad();
  while (In.Pos() + 12 <= end) {
    if (In.Pos() & 1) In.Skip(1);
    if (In.Pos() + 12 > end) break;
    uint8_t sig[4];
    In.Read(sig, 4);
    if (std::memcmp(sig, "8BIM", 4) != 0) break;
    const uint16_t id = In.Word();
    // The name is a Pascal string padded so that it and its length byte fill
    // an even number of bytes.
    const int32_t nameLen = In.Byte();
    In.Skip(nameLen + ((nameLen + 1) & 1));
    if (In.Pos() + 4 > end) break;
    const int64_t n = In.Long();
    if (n > end - In.Pos()) break;
    const std::vector<uint8_t> data = In.Bytes(n);
    ApplyResource(id, data, Bitmap, LoadLayers);
  }
  In.SeekTo(end);
}

void TPsdReader::ReadLayers(bool LoadLayers, TIEPsdLayerList* Layers) {
  const int64_t sectionLen = In.Long();
  const int64_t sectionEnd = In.Pos() + sectionLen;
  if (sectionEnd > In.Size()) Bad();
  if (sectionLen == 0) return;
  if ((!LoadLayers && !Layers) || sectionLen < 4) {
    In.SeekTo(sectionEnd);
    return;
  }
  const int64_t infoLen = In.Long();
  const int64_t infoEnd = In.Pos() + infoLen;
  if (infoEnd > sectionEnd) Bad();
  if (infoLen < 2) {
    In.SeekTo(sectionEnd);
    return;
  }
  const int32_t count = std::abs(int32_t(int16_t(In.Word())));
  if ((count > 1 && !LoadLayers) || !Layers) {
    In.SeekTo(sectionEnd);
    return;
  }
  struct TChannelInfo {
    int16_t Id;
    int64_t Length;
  };
  struct TRecord {
    int32_t Top, Left, Bottom, Right;
    std::vector<TChannelInfo> Channels;
    int32_t MaskTop = 0, MaskLeft = 0, MaskBottom = 0, MaskRight = 0;
  };
  // Each record takes at least 34 bytes: bound the count by the section.
  if (int64_t(count) * 34 > infoEnd - In.Pos()) Bad();
  std::vector<TRecord> records(static_cast<size_t>(count));
  const size_t firstLayer = Layers->size();
  for (auto& r : records) {
    r.Top = int32_t(In.Long());
    r.Left = int32_t(In.Long());
    r.Bottom = int32_t(In.Long());
    r.Right = int32_t(In.Long());
    const int32_t nch = In.Word();
    if (int64_t(nch) * 6 > infoEnd - In.Pos()) Bad();
    r.Channels.resize(static_cast<size_t>(nch));
    for (auto& c : r.Channels) {
      c.Id = int16_t(In.Word());
      c.Length = In.Long();
    }
    In.Skip(8);  // blend signature and key
    auto layer = std::make_unique<TIEPsdLayer>();
    layer->OffsetX = r.Left;
    layer->OffsetY = r.Top;
    layer->Opacity = In.Byte();
    layer->ClipToImage = In.Byte() == 0;
    layer->Visible = (In.Byte() & 2) == 0;
    In.Skip(1);
    const int64_t extraLen = In.Long();
    const int64_t extraEnd = In.Pos() + extraLen;
    if (extraEnd > infoEnd) Bad();
    // Layer-mask data: the rectangle comes first; the rest of the block (it
    // may hold a second, real-mask rectangle) is skipped by its length.
    const int64_t maskLen = In.Long();
    const int64_t maskEnd = In.Pos() + maskLen;
    if (maskEnd > extraEnd) Bad();
    if (maskLen >= 16) {
      r.MaskTop = int32_t(In.Long());
      r.MaskLeft = int32_t(In.Long());
      r.MaskBottom = int32_t(In.Long());
      r.MaskRight = int32_t(In.Long());
    }
    In.SeekTo(maskEnd);
    const int64_t blendLen = In.Long();
    if (blendLen > extraEnd - In.Pos()) Bad();
    In.Skip(blendLen);
    if (In.Pos() < extraEnd) {
      const int32_t nameLen = In.Byte();
      if (nameLen > extraEnd - In.Pos()) Bad();
      std::string name(static_cast<size_t>(nameLen), '\0');
      In.Read(name.data(), nameLen);
      layer->Name = std::move(name);
    }
    In.SeekTo(extraEnd);
    Layers->push_back(std::move(layer));
  }

  // Channel image data, layer by layer.
  size_t p = firstLayer;
  for (int32_t li = 0; li < count; ++li) {
    const TRecord& r = records[static_cast<size_t>(li)];
    for (const TChannelInfo& ch : r.Channels) {
      const int64_t chStart = In.Pos();
      if (ch.Length < 2 || ch.Length > infoEnd - chStart) {
        // A channel with no compression word has no rows; a longer one
        // than the section is damage.
        if (ch.Length > infoEnd - chStart) Bad();
        In.Skip(ch.Length);
        continue;
      }
      const int32_t compression = In.Word();
      const bool isMask = ch.Id == psdChannelMask;
      const int64_t w = isMask ? int64_t(r.MaskRight) - r.MaskLeft : int64_t(r.Right) - r.Left;
      const int64_t h = isMask ? int64_t(r.MaskBottom) - r.MaskTop : int64_t(r.Bottom) - r.Top;
      const int32_t mode = isMask ? psdGrayscale : Mode;
      const int32_t depth = isMask ? 8 : Depth;
      const bool known = isMask || ch.Id == psdChannelAlpha || (ch.Id >= 0 && ch.Id <= ColourChannels(Mode));
      if (w <= 0 || h <= 0 || w > 300000 || h > 300000 || !known || (compression != 0 && compression != 1) ||
          FormatOf(mode, depth) == ieNoFormat) {
        // Nothing this reader can place: skipped by its stated length.
        In.SeekTo(chStart + ch.Length);
        continue;
      }
      const int64_t rowBytes = (w * depth + 7) / 8;
      const int64_t need = compression == 0 ? h * rowBytes : h * (2 + PsdPackBitsMinimum(rowBytes));
      if (need > ch.Length - 2) Bad();
      std::vector<uint32_t> counts = ReadRowTable(compression, h, rowBytes);
      size_t rowIndex = 0;
      TChannelJob job;
      job.Width = int32_t(w);
      job.Height = int32_t(h);
      job.Mode = mode;
      job.Depth = depth;
      if (isMask) {
        auto mask = std::make_unique<TIEPsdLayer>();
        mask->MaskLayer = true;
        mask->Visible = false;
        mask->OffsetX = r.MaskLeft;
        mask->OffsetY = r.MaskTop;
        job.Channel = 0;
        DecodeChannel(mask->Bitmap.get(), job, compression, counts, rowIndex);
        const size_t at = std::min(p + 1, Layers->size());
        Layers->insert(Layers->begin() + static_cast<std::ptrdiff_t>(at), std::move(mask));
      } else {
        if (p < Layers->size() && (*Layers)[p]->MaskLayer) ++p;
        if (p >= Layers->size()) Bad();
        job.Channel = ch.Id;
        job.ColorData = &ColorData;
        job.TransparentIndex = TransparentIndex;
        DecodeChannel((*Layers)[p]->Bitmap.get(), job, compression, counts, rowIndex);
      }
      if (Progress.IsAborting()) return;
      In.SeekTo(chStart + ch.Length);
    }
    ++p;
    Progress.Report(int32_t(double(li + 1) / count * 100));
  }
  In.SeekTo(sectionEnd);

  // Layers that received no pixels (section dividers and the like) go, with
  // a mask directly after them.
  for (size_t i = firstLayer; i < Layers->size();) {
    TIEBitmap* b = (*Layers)[i]->Bitmap.get();
    if (!(*Layers)[i]->MaskLayer && (b->GetWidth() == 0 || b->GetHeight() == 0)) {
      size_t n = 1;
      if (i + 1 < Layers->size() && (*Layers)[i + 1]->MaskLayer) n = 2;
      Layers->erase(Layers->begin() + static_cast<std::ptrdiff_t>(i),
                    Layers->begin() + static_cast<std::ptrdiff_t>(i + n));
    } else {
      ++i;
    }
  }
}

void TPsdReader::Run(TIEBitmap* Bitmap, bool LoadLayers, TIEPsdLayerList* Layers) {
  Progress.Report(0);
  uint8_t sig[4];
  In.Read(sig, 4);
  if (std::memcmp(sig, "8BPS", 4) != 0 || In.Word() != 1) Bad();
  In.Skip(6);
  Channels = In.Word();
  Height = int32_t(In.Long());
  Width = int32_t(In.Long());
  Depth = In.Word();
  Mode = In.Word();
  if (Channels < 1 || Channels > 24 || Height <= 0 || Width <= 0 || Height > 300000 || Width > 300000 ||
      Depth < 1 || Depth > 16 || Mode > 9)
    Bad();
  Params.SetImageCount(1);
  Params.Width = Width;
  Params.Height = Height;
  Params.StoredWidth = Width;
  Params.StoredHeight = Height;
  Params.BitsPerSample = Depth;
  Params.SamplesPerPixel = Channels;
  Params.SetDpiX(96);
  Params.SetDpiY(96);

  const int64_t colourLen = In.Long();
  if (colourLen == 768)
    ColorData = In.Bytes(768);
  else
    In.Skip(colourLen);
  TransparentIndex = -1;
  if (Mode == psdIndexed && ColorData.size() == 768) {
    Params.FreeColorMap();
    Params.ColorMap = std::make_unique<TRGB[]>(256);
    Params.ColorMapCount = 256;
    for (int32_t i = 0; i < 256; ++i)
      Params.ColorMap[i] = TRGB{ColorData[512 + i], ColorData[256 + i], ColorData[i]};
  }

  ReadImageResources(Bitmap, LoadLayers);
  ReadLayers(LoadLayers, Layers);
  if (Progress.IsAborting()) return;

  const bool layersTaken = LoadLayers && Layers && !Layers->empty();
  if (!layersTaken && Bitmap && !(Params.LoadExifThumbnail && ThumbnailLoaded)) {
    const TIEPixelFormat pf = FormatOf(Mode, Depth);
    if (pf == ieNoFormat) Bad();
    const int32_t compression = In.Word();
    const int64_t rowBytes = (int64_t(Width) * Depth + 7) / 8;
    std::vector<uint32_t> counts = ReadRowTable(compression, int64_t(Channels) * Height, rowBytes);
    size_t rowIndex = 0;
    TChannelJob job;
    job.Width = Width;
    job.Height = Height;
    job.Mode = Mode;
    job.Depth = Depth;
    job.ColorData = &ColorData;
    job.TransparentIndex = TransparentIndex;
    Bitmap->RemoveAlphaChannel();
    for (int32_t c = 0; c < Channels; ++c) {
      job.Channel = c;
      // Channels this reader does not place still take their rows.
      const size_t before = rowIndex;
      DecodeChannel(Bitmap, job, compression, counts, rowIndex);
      if (Progress.IsAborting()) return;
      if (rowIndex == before) {
        int64_t skip = 0;
        for (int32_t y = 0; y < Height; ++y) skip += counts[rowIndex++];
        In.Skip(std::min(skip, In.Remaining()));
      }
    }
  }

  if (!Params.NativePixelFormat) {
    const bool useIcc = ProfileLoaded && IEColorManagement && Params.GetInputIccProfile()->IsValid() &&
                        Params.GetOutputIccProfile()->IsValid();
    auto toRgb = [&](TIEBitmap* b) {
      const TIEPixelFormat pf = b->GetPixelFormat();
      if (pf == ie1g || pf == ie24RGB || pf == ieNoFormat || b->GetWidth() == 0) return;
      if (!(useIcc && Params.GetInputIccProfile()->ConvertBitmap(b, ie24RGB, Params.GetOutputIccProfile())))
        b->SetPixelFormat(ie24RGB);
    };
    if (Layers)
      for (auto& l : *Layers)
        if (!l->MaskLayer) toRgb(l->Bitmap.get());
    if (Bitmap && !ThumbnailLoaded) toRgb(Bitmap);
  }
}

}  // namespace

bool IETryPSD(TStream* Stream) {
  if (!Stream) return false;
  const int64_t pos = Stream->GetPosition();
  uint8_t h[26];
  const bool got = Stream->Read(h, 26) == 26;
  Stream->Seek(pos, soBeginning);
  if (!got || std::memcmp(h, "8BPS", 4) != 0) return false;
  auto w = [&](int o) { return h[o] << 8 | h[o + 1]; };
  return w(4) == 1 && w(12) >= 1 && w(12) <= 24 && w(22) >= 1 && w(22) <= 16 && w(24) <= 9;
}

void PsdReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                   bool LoadLayers, TIEPsdLayerList* Layers) {
  // A bitmap held in a platform bitmap cannot take every pixel format:
  // decode into a separate one and copy at the end.
  std::unique_ptr<TIEBitmap> separate;
  TIEBitmap* target = Bitmap;
  if (Bitmap && Bitmap->GetLocation() == ieTBitmap) {
    separate = std::make_unique<TIEBitmap>();
    target = separate.get();
  }
  try {
    TPsdReader reader(Stream, Params, Progress);
    reader.Run(target, LoadLayers, Layers);
  } catch (const EPsdBadData&) {
    Progress.SetAborting();
  } catch (const EReadError&) {
    Progress.SetAborting();
  } catch (const std::bad_alloc&) {
    Progress.SetAborting();
  }
  if (separate && !Progress.IsAborting()) Bitmap->Assign(separate.get());
}
