#include "io/format_registry.h"

#include <atomic>
#include <cstring>
#include <mutex>

#include "foundations/file_utils.h"
#include "foundations/settings.h"
#include "io/format_detection.h"
#include "formats/codec_table.h"
#include "formats/jpeg/jpeg_codec.h"
#include "formats/pcx/pcx_dcx.h"
#include "formats/tiff/tiff_reader.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {

// What this build reads and writes of each built-in format: what the codec
// table offers, unless the library start-up said otherwise through
// IESetBuiltInFormatSupport (Set).
struct TFormatSupport {
  TIEFileFormat Id;
  bool Set;
  bool CanRead;
  bool CanWrite;
};

TFormatSupport GSupport[] = {
    {ioTIFF, false, false, false},  {ioGIF, false, false, false},   {ioJPEG, false, false, false},
    {ioPCX, false, false, false},   {ioBMP, false, false, false},   {ioBMPRAW, false, false, false},
    {ioICO, false, false, false},   {ioCUR, false, false, false},   {ioPNG, false, false, false},
    {ioDICOM, false, false, false}, {ioWMF, false, false, false},   {ioEMF, false, false, false},
    {ioTGA, false, false, false},   {ioPXM, false, false, false},   {ioWBMP, false, false, false},
    {ioJP2, false, false, false},   {ioJ2K, false, false, false},   {ioPS, false, false, false},
    {ioPDF, false, false, false},   {ioDCX, false, false, false},   {ioRAW, false, false, false},
    {ioPSD, false, false, false},   {ioIEV, false, false, false},   {ioLYR, false, false, false},
    {ioALL, false, false, false},   {ioHDP, false, false, false},
};

TFormatSupport* FindSupport(TIEFileFormat Id) {
  for (TFormatSupport& s : GSupport)
    if (s.Id == Id) return &s;
  return nullptr;
}

bool CanRead(const TFormatSupport* Support) {
  if (!Support) return false;
  if (Support->Set) return Support->CanRead;
  const TIECodec* Codec = IEFindCodec(Support->Id);
  return Codec && Codec->Read;
}

bool CanWrite(const TFormatSupport* Support) {
  if (!Support) return false;
  if (Support->Set) return Support->CanWrite;
  const TIECodec* Codec = IEFindCodec(Support->Id);
  return Codec && Codec->Write;
}

// The built-in rows, in registration order.
struct TBuiltInRow {
  TIEFileFormat Id;
  const char* Description;
  const char* Extensions;
  TIEParamsPages Pages;
  bool HasRead;   // the format can be read at all
  bool HasWrite;  // the format can be written at all
};

constexpr TBuiltInRow kRows[] = {
    {ioTIFF, "TIFF Bitmap", "TIF;TIFF;FAX;G3N;G3F;XIF", ppTIFF, true, true},
    {ioGIF, "CompuServe Bitmap", "GIF", ppGIF, true, true},
    {ioJPEG, "JPEG Bitmap", "JPG;JPEG;JPE;JIF", ppJPEG, true, true},
    {ioPCX, "PaintBrush", "PCX", ppPCX, true, true},
    {ioBMP, "Windows Bitmap", "BMP;DIB;RLE", ppBMP, true, true},
    {ioBMPRAW, "Raw Bitmap", "", 0, true, true},
    {ioICO, "Windows Icon", "ICO", 0, true, true},
    {ioCUR, "Windows Cursor", "CUR", 0, true, false},
    {ioPNG, "Portable Network Graphics", "PNG", ppPNG, true, true},
    {ioDICOM, "DICOM Bitmap", "DCM;DIC;DICOM;V2", 0, true, false},
    {ioWMF, "Windows Metafile", "WMF", 0, true, false},
    {ioEMF, "Enhanced Windows Metafile", "EMF", 0, true, false},
    {ioTGA, "Targa Bitmap", "TGA;TARGA;VDA;ICB;VST;PIX", ppTGA, true, true},
    {ioPXM, "Portable Pixmap, GrayMap, BitMap", "PXM;PPM;PGM;PBM", 0, true, true},
    {ioWBMP, "Wireless Bitmap", "WBMP", 0, true, true},
    {ioJP2, "JPEG2000", "JP2", ppJ2000, true, true},
    {ioJ2K, "JPEG2000 Code Stream", "J2K;JPC;J2C", ppJ2000, true, true},
    {ioPS, "PostScript Level 2", "PS;EPS", 0, false, true},
    {ioPDF, "Adobe PDF", "PDF", 0, false, true},
    {ioDCX, "Multipage PCX", "DCX", 0, true, true},
    {ioRAW, "Camera RAW", "CRW;CR2;NEF;RAW;PEF;RAF;X3F;BAY;ORF;SRF;MRW;DCR;SR2", 0, true, false},
    {ioPSD, "Photoshop PSD", "PSD", 0, true, true},
    {ioIEV, "Vectorial objects", "IEV", 0, true, true},
    {ioLYR, "Layers", "LYR", 0, true, true},
    {ioALL, "Layers and objects", "ALL", 0, true, true},
    {ioHDP, "Microsoft HD Photo", "WDP;HDP", 0, true, true},
};

const TBuiltInRow* FindRow(TIEFileFormat Id) {
  for (const TBuiltInRow& r : kRows)
    if (r.Id == Id) return &r;
  return nullptr;
}

// The shared placeholders of built-in entries: they only say "supported".
void PlaceholderRead(TStream*, TIEBitmap*, TIOParamsVals&, TIEProgressRec&, bool) {}
void PlaceholderWrite(TStream*, TIEBitmap*, TIOParamsVals&, TIEProgressRec&) {}
bool PlaceholderProbe(TStream*, TIEFileFormat) { return false; }

std::vector<std::unique_ptr<TIEFileFormatInfo>> GRegistry;
std::atomic<bool> GBuilt{false};
std::mutex GBuildLock;

// Gives a built-in entry the procedures this build supports.
void ApplySupport(TIEFileFormatInfo& Entry) {
  const TBuiltInRow* row = FindRow(Entry.FormatId);
  const TFormatSupport* support = FindSupport(Entry.FormatId);
  const bool canRead = row && row->HasRead && CanRead(support);
  const bool canWrite = row && row->HasWrite && CanWrite(support);
  Entry.ReadProc = canRead ? TIEReadProc(PlaceholderRead) : TIEReadProc();
  Entry.WriteProc = canWrite ? TIEWriteProc(PlaceholderWrite) : TIEWriteProc();
  if (Entry.FormatId == ioGIF) {
    // GIF needs the LZW coder hooks besides its codec.
    if (GifLzwDecoderHook == nullptr) Entry.ReadProc = nullptr;
    if (GifLzwEncoderHook == nullptr) Entry.WriteProc = nullptr;
  }
}

std::unique_ptr<TIEFileFormatInfo> MakeEntry(const TBuiltInRow& Row) {
  auto e = std::make_unique<TIEFileFormatInfo>();
  e->FormatId = Row.Id;
  e->Description = Row.Description;
  e->Extensions = Row.Extensions;
  e->BuiltIn = true;
  e->ParamsPages = Row.Pages;
  e->ProbeProc = PlaceholderProbe;
  ApplySupport(*e);
  return e;
}

// The HD Photo row exists only where its platform codec does.
bool HdPhotoAvailable() {
  const TFormatSupport* s = FindSupport(ioHDP);
  return CanRead(s) || CanWrite(s);
}

bool FormatNameHook(TIEFileFormat Format, std::string& FullName, std::string& FirstExtension) {
  const TIEFileFormatInfo* e = IEFindFormatById(Format);
  if (e == nullptr) return false;
  FullName = e->Description;
  FirstExtension = IEFormatExtension(Format, 0);
  return true;
}

void EnsureBuilt() {
  if (!GBuilt.load(std::memory_order_acquire)) IEBuildFormatRegistry();
}

// Splits an extension list as the lookups do: an empty item ends it.
template <typename F>
void ForEachExtension(const std::string& List, F&& Visit) {
  std::string rest = List;
  while (!rest.empty()) {
    const size_t p = rest.find(';');
    std::string item = p == std::string::npos ? rest : rest.substr(0, p);
    rest = p == std::string::npos ? std::string() : rest.substr(p + 1);
    if (item.empty()) return;
    if (!Visit(item)) return;
  }
}

}  // namespace

std::vector<std::unique_ptr<TIEFileFormatInfo>>& IEFileFormats() {
  EnsureBuilt();
  return GRegistry;
}

void IEBuildFormatRegistry() {
  std::lock_guard<std::mutex> lock(GBuildLock);
  if (GBuilt.load(std::memory_order_acquire)) return;
  GRegistry.clear();
  for (const TBuiltInRow& row : kRows) {
    if (row.Id == ioHDP && !HdPhotoAvailable()) continue;
    GRegistry.push_back(MakeEntry(row));
  }
  IEFormatNameHook = FormatNameHook;
  GBuilt.store(true, std::memory_order_release);
}

void IEFreeFormatRegistry() {
  std::lock_guard<std::mutex> lock(GBuildLock);
  if (IEFormatNameHook == FormatNameHook) IEFormatNameHook = nullptr;
  GRegistry.clear();
  GBuilt.store(false, std::memory_order_release);
}

void IEUpdateGifCallbacks() {
  TIEFileFormatInfo* e = IEFindFormatById(ioGIF);
  if (e != nullptr && e->BuiltIn) ApplySupport(*e);
}

void IESetBuiltInFormatSupport(TIEFileFormat Id, bool CanRead, bool CanWrite) {
  TFormatSupport* support = FindSupport(Id);
  if (support == nullptr) return;
  support->Set = true;
  support->CanRead = CanRead;
  support->CanWrite = CanWrite;
  if (!GBuilt.load(std::memory_order_acquire)) return;
  TIEFileFormatInfo* e = IEFindFormatById(Id);
  if (e != nullptr && e->BuiltIn) {
    ApplySupport(*e);
  } else if (e == nullptr && Id == ioHDP && HdPhotoAvailable()) {
    GRegistry.push_back(MakeEntry(*FindRow(ioHDP)));
  }
}

TIEFileFormatInfo* IEFindFormatById(TIEFileFormat Id) {
  for (auto& e : IEFileFormats())
    if (e->FormatId == Id) return e.get();
  return nullptr;
}

std::string IEFormatExtension(TIEFileFormat Id, int32_t N) {
  const TIEFileFormatInfo* e = IEFindFormatById(Id);
  if (e == nullptr || N < 0) return std::string();
  std::string rest = e->Extensions;
  std::string item;
  for (int32_t i = 0; i <= N; ++i) {
    if (rest.empty()) return std::string();
    const size_t p = rest.find(';');
    item = p == std::string::npos ? rest : rest.substr(0, p);
    rest = p == std::string::npos ? std::string() : rest.substr(p + 1);
  }
  return item;
}

int32_t IEFormatExtensionCount(TIEFileFormat Id) {
  int32_t n = 0;
  while (!IEFormatExtension(Id, n).empty()) ++n;
  return n;
}

void IEAddFileFormat(TIEFileFormatInfo* Entry) { IEAddFileFormat(std::unique_ptr<TIEFileFormatInfo>(Entry)); }

void IEAddFileFormat(std::unique_ptr<TIEFileFormatInfo> Entry) {
  if (!Entry) return;
  IEFileFormats().push_back(std::move(Entry));
}

void IERemoveFileFormat(TIEFileFormat Id) {
  auto& list = IEFileFormats();
  for (auto it = list.begin(); it != list.end(); ++it) {
    if ((*it)->FormatId == Id) {
      list.erase(it);
      return;
    }
  }
}

TIEFileFormatInfo* IEFindFormatByExtension(const std::string& Ext) {
  std::string ext = LowerCase(Ext);
  if (!ext.empty() && ext[0] == '.') ext.erase(0, 1);
  if (ext.empty()) return nullptr;
  for (auto& e : IEFileFormats()) {
    bool found = false;
    ForEachExtension(e->Extensions, [&](const std::string& item) {
      found = LowerCase(item) == ext;
      return !found;
    });
    if (found) return e.get();
  }
  return nullptr;
}

bool IEIsReadableFileName(const std::string& FileName) {
  const TIEFileFormatInfo* e = IEFindFormatByExtension(IEFileExtensionW(FileName));
  return e != nullptr && static_cast<bool>(e->ReadProc);
}

// ---------------------------------------------------------------------------
// Content detection

bool IEIsAviStream(TStream* Stream) {
  if (Stream == nullptr) return false;
  try {
    const int64_t p = Stream->GetPosition();
    uint8_t b[12];
    const bool read = Stream->Read(b, 12) == 12;
    Stream->Seek(p, soBeginning);
    return read && std::memcmp(b, "RIFF", 4) == 0 && std::memcmp(b + 8, "AVI ", 4) == 0;
  } catch (...) {
    return false;
  }
}

namespace {

// The text of bytes 0..Last up to the first zero byte among them.
std::string HeaderText(const uint8_t* Bytes, int64_t Available, int32_t Last) {
  std::string s;
  for (int32_t i = 0; i <= Last && i < Available; ++i) {
    if (Bytes[i] == 0) break;
    s.push_back(char(Bytes[i]));
  }
  return s;
}

TIEFileFormat DetectAt(TStream* Stream, int64_t P) {
  // Sizes are 64-bit: a file beyond 2 GiB is examined like any other.
  const int64_t size = Stream->GetSize();
  uint8_t head[16] = {};
  Stream->Seek(P, soBeginning);
  const int64_t got = Stream->Read(head, sizeof(head));
  Stream->Seek(P, soBeginning);
  const int64_t n = got < 0 ? 0 : got;

  // Stream headers written by the I/O component and the plain magics.
  if (size > 12 && n >= 12 && HeaderText(head, n, 4) == "JFIF") return ioJPEG;
  if (size > 13 && n >= 3 && std::memcmp(head, "GIF", 3) == 0) return ioGIF;
  if (size > 12 && n >= 5 && HeaderText(head, n, 4) == "PCX2") return ioPCX;
  if (size > 4 && n >= 4 && HeaderText(head, n, 3) == "PCX") return ioPCX;
  if (size > 14 && n >= 2 && (head[0] | (head[1] << 8)) == 0x4D42) return ioBMP;
  if (size > 128 && n >= 2 && head[0] == 0x0A && head[1] <= 5) return ioPCX;
  if (size > 12 && n >= 5 && HeaderText(head, n, 4) == "TIFF") return ioTIFF;

  // Format probes, each from P.
  auto from = [&](auto&& Probe) {
    Stream->Seek(P, soBeginning);
    return static_cast<bool>(Probe(Stream));
  };
  if (from(HdpIsStream)) return ioHDP;
  if (from(TiffIsStream) && !from(TiffIsRawStream)) return ioTIFF;
  if (size > 8 && from(PngIsStream)) return ioPNG;
  if (from(DicomIsStream)) return ioDICOM;
  if (from(IcoIsStream)) return ioICO;
  if (from(CurIsStream)) return ioCUR;
  if (from(TgaIsStream)) return ioTGA;
  if (from(PnmIsStream)) return ioPXM;
  if (from(Jp2IsStream)) return ioJP2;
  if (from(J2kIsStream)) return ioJ2K;
  if (from(IEIsAviStream)) return ioAVI;
  if (from(DcxIsStream)) return ioDCX;
  if (from(WmfIsStream)) return ioWMF;
  if (from(EmfIsStream)) return ioEMF;
  if (from(PsdIsStream)) return ioPSD;
  if (from(IEIsObjectStream)) return ioIEV;
  if (from(IEIsLayersStream)) return ioLYR;
  if (from(IEIsLayersAndObjectsStream)) return ioALL;

  // A JPEG stream starting within the first bytes.
  Stream->Seek(P, soBeginning);
  if (JpegIsStream(Stream, true) >= 0) return ioJPEG;

  // Probes of registered (plug-in) formats.
  for (auto& e : IEFileFormats()) {
    if (!e->ProbeProc) continue;
    Stream->Seek(P, soBeginning);
    if (e->ProbeProc(Stream, e->FormatId)) return e->FormatId;
  }
  // Camera raw identification would come last; no raw decoder is part of
  // this build, so such content stays unrecognised.
  return ioUnknown;
}

}  // namespace

TIEFileFormat IEDetectStreamFormat(TStream* Stream) {
  if (Stream == nullptr) return ioUnknown;
  int64_t p = 0;
  try {
    p = Stream->GetPosition();
  } catch (...) {
    return ioUnknown;
  }
  TIEFileFormat result = ioUnknown;
  try {
    result = DetectAt(Stream, p);
  } catch (...) {
    result = ioUnknown;
  }
  try {
    Stream->Seek(p, soBeginning);
  } catch (...) {
  }
  return result;
}

TIEFileFormat IEDetectFileFormat(const std::string& FileName, bool VerifyExtension) {
  try {
    if (FileName.empty() || !IEFileExistsW(FileName)) return ioUnknown;
    TIEFileFormat content = ioUnknown;
    try {
      TFileStream fs(FileName, fmOpenRead | fmShareDenyWrite);
      content = IEDetectStreamFormat(&fs);
    } catch (...) {
      content = ioUnknown;
    }
    const TIEFileFormatInfo* entry = IEFindFormatByExtension(IEFileExtensionW(FileName));
    // Many camera raw files are TIFF-structured: the extension decides.
    if (entry != nullptr && entry->FormatId == ioRAW && content == ioTIFF) return ioRAW;
    if (entry != nullptr && !entry->BuiltIn) return entry->FormatId;
    if (VerifyExtension && content != ioUnknown) {
      if (entry == nullptr) return ioUnknown;
      // Icons and cursors share their layout: between the two the extension
      // decides.  Any other extension must agree with the content.
      if ((content == ioICO || content == ioCUR) && (entry->FormatId == ioICO || entry->FormatId == ioCUR))
        return entry->FormatId;
      if (entry->FormatId != content) return ioUnknown;
      return content;
    }
    return content;
  } catch (...) {
    return ioUnknown;
  }
}
