// TFolioIO: the load, save and parameters-only entry points.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>

#include "foundations/file_utils.h"
#include "foundations/ie_streams.h"
#include "foundations/image_buffer.h"
#include "foundations/number_text.h"
#include "foundations/pixel_utils.h"
#include "foundations/selection_mask.h"
#include "io/finish_work.h"
#include "io/folio_io.h"
#include "formats/codec_table.h"
#include "io/url_loading.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {
constexpr int32_t ReadBufferSize = 8192;
constexpr int64_t StreamHeaderSize = 12;
constexpr uint16_t ReadMode = fmOpenRead | fmShareDenyWrite;

// The row of the codec table that reads Format; null when none does.
const TIECodec* ReadingCodec(TIEFileFormat Format) {
  const TIECodec* Codec = IEFindCodec(Format);
  return Codec && Codec->Read ? Codec : nullptr;
}

// The row that writes Format; null when none does.
const TIECodec* WritingCodec(TIEFileFormat Format) {
  const TIECodec* Codec = IEFindCodec(Format);
  return Codec && Codec->Write ? Codec : nullptr;
}

// Extensions of SaveToFile and the format each one saves.
TIEFileFormat SaveFormatOfExtension(const std::string& Ext) {
  static const std::map<std::string, TIEFileFormat> Table = {
      {".jpg", ioJPEG}, {".jpeg", ioJPEG}, {".jpe", ioJPEG},  {".jif", ioJPEG}, {".jp2", ioJP2},
      {".j2k", ioJ2K},  {".jpc", ioJ2K},   {".j2c", ioJ2K},   {".pcx", ioPCX},  {".dcx", ioDCX},
      {".gif", ioGIF},  {".tif", ioTIFF},  {".tiff", ioTIFF}, {".fax", ioTIFF}, {".g3f", ioTIFF},
      {".g3n", ioTIFF}, {".png", ioPNG},   {".bmp", ioBMP},   {".dib", ioBMP},  {".rle", ioBMP},
      {".tga", ioTGA},  {".targa", ioTGA}, {".vda", ioTGA},   {".icb", ioTGA},  {".vst", ioTGA},
      {".win", ioTGA},  {".pxm", ioPXM},   {".pbm", ioPXM},   {".pgm", ioPXM},  {".ppm", ioPXM},
      {".ico", ioICO},  {".wbmp", ioWBMP}, {".ps", ioPS},     {".eps", ioPS},   {".pdf", ioPDF},
      {".psd", ioPSD},  {".hdp", ioHDP},   {".wdp", ioHDP},
  };
  auto It = Table.find(Ext);
  return It == Table.end() ? ioUnknown : It->second;
}

// The permission bits a newly created file gets from the process's umask.
mode_t DefaultFileMode() {
  static const mode_t Mode = [] {
    const mode_t Mask = ::umask(022);
    ::umask(Mask);
    return static_cast<mode_t>(0666 & ~Mask);
  }();
  return Mode;
}


struct THeader {
  bool Present = false;  // a header was read
  bool Ok = true;        // false: a required header is missing or wrong
  int64_t Start = 0;
  int64_t Length = -1;   // -1: the image runs to the end of the stream
};

// The header a stream must carry before an image of a format that requires
// one, while StreamHeaders is on.
THeader ReadRequiredHeader(TStream* Stream, const TIECodecStreamHeader& Rule) {
  THeader R;
  R.Start = Stream->GetPosition();
  uint8_t H[StreamHeaderSize] = {};
  const int64_t Got = Stream->Read(H, StreamHeaderSize);
  if (Rule.ShortMagic[0] != 0 && Got >= 4 && std::memcmp(H, Rule.ShortMagic, 4) == 0) {
    // the older 4-byte header: the image runs to the end of the stream
    R.Present = true;
    Stream->SetPosition(R.Start + 4);
    return R;
  }
  if (Got == StreamHeaderSize && std::memcmp(H, Rule.Magic, 4) == 0) {
    R.Present = true;
    R.Length = IEGetDWord(H + 8, false);
    return R;
  }
  R.Ok = false;
  Stream->SetPosition(R.Start);
  return R;
}

// A header that is not required is skipped whenever it is there.
THeader SkipOptionalHeader(TStream* Stream, const TIECodecStreamHeader& Rule) {
  THeader R;
  R.Start = Stream->GetPosition();
  uint8_t H[StreamHeaderSize] = {};
  const int64_t Got = Stream->Read(H, StreamHeaderSize);
  if (Got == StreamHeaderSize && std::memcmp(H, Rule.Magic, 4) == 0 && H[4] == 0) {
    R.Present = true;
    R.Length = IEGetDWord(H + 8, false);
  } else {
    Stream->SetPosition(R.Start);
  }
  return R;
}

// The stream header before an image of the codec's format, by its rule.
THeader ReadStreamHeader(TStream* Stream, const TIECodec& Codec, bool StreamHeaders) {
  const TIECodecStreamHeader& Rule = Codec.StreamHeader;
  if (!Rule.HasHeader()) return THeader();
  if (Rule.Required) return StreamHeaders ? ReadRequiredHeader(Stream, Rule) : THeader();
  return SkipOptionalHeader(Stream, Rule);
}

// Bytes of image data from the stream's position: what the header states,
// never beyond the stream.
int64_t DataSizeAfter(TStream* Stream, const THeader& Header) {
  const int64_t Rest = std::max<int64_t>(0, Stream->GetSize() - Stream->GetPosition());
  return Header.Present && Header.Length >= 0 ? std::min(Header.Length, Rest) : Rest;
}

// Runs the codec's read, through a read buffer where the codec wants one.
void RunRead(const TIECodec& Codec, TIECodecReadRequest Request, TIECodecReadResult& Result) {
  if (!Codec.BufferedRead) {
    Codec.Read(Request, Result);
    return;
  }
  TIEBufferedReadStream Buffered(Request.Stream, ReadBufferSize, false);
  Request.Stream = &Buffered;
  Codec.Read(Request, Result);
}

// After an image that had a header the stream stands right after its data,
// so that the next image can be read.
void SkipPastImage(TStream* Stream, const THeader& H) {
  if (!H.Present || H.Length < 0) return;
  // a stored length beyond the data ends at the end of the stream
  Stream->SetPosition(std::min(H.Start + StreamHeaderSize + H.Length, Stream->GetSize()));
}

void PutHeader(uint8_t* H, const char* Magic, uint32_t Length) {
  std::memcpy(H, Magic, 4);
  std::memset(H + 4, 0, 4);
  H[8] = uint8_t(Length);
  H[9] = uint8_t(Length >> 8);
  H[10] = uint8_t(Length >> 16);
  H[11] = uint8_t(Length >> 24);
}
}  // namespace

// ---------------------------------------------------------------------------
// The common load and save through the codec table

struct TFolioIOAccess {
  // Reads one image of Format at Stream's position into the current image.
  // FileName is the name to store (empty for a stream load).  Answers the
  // page count of formats with pages (0 for the others).  Does not fire
  // DoFinishWork.
  static int32_t LoadCore(TFolioIO& IO, TStream* Stream, TIEFileFormat Format, const std::string& FileName,
                          bool StreamVariant, const std::function<void()>& BeforeRead = nullptr) {
    IO.FAborting = false;
    if (!IO.PrepareBitmap()) {
      IO.FAborting = true;
      return 0;
    }
    TIOParamsVals& P = *IO.FParams;
    P.ClearFileInfo();
    P.FileName = FileName;
    // defaults a format takes from the component for what a file may omit
    if (BeforeRead) BeforeRead();
    const TIECodec* Codec = ReadingCodec(Format);
    THeader Header;
    if (StreamVariant && Codec) {
      Header = ReadStreamHeader(Stream, *Codec, IO.FStreamHeaders);
      if (!Header.Ok) {
        IO.FAborting = true;
        return 0;
      }
    }
    TIEProgressRec Progress = IO.MakeProgress();
    TIEBitmap* B = IO.FIEBitmap;
    B->RemoveAlphaChannel(false);
    if (!Codec) {
      IO.FAborting = true;
      return 0;
    }
    TIECodecReadRequest Request;
    Request.Stream = Stream;
    Request.Bitmap = B;
    Request.Params = &P;
    Request.Progress = &Progress;
    Request.DataSize = DataSizeAfter(Stream, Header);
    TIECodecReadResult Result;
    RunRead(*Codec, Request, Result);
    // A read that produced no image is a failure, whatever the codec said.
    if (!IO.FAborting && (B->GetWidth() <= 0 || B->GetHeight() <= 0)) IO.FAborting = true;
    const int32_t PageCount = Result.PageCount;
    const bool FixDpi = Codec->FixDpi, SyncDpi = Codec->SyncDpi;
    SkipPastImage(Stream, Header);
    if (FixDpi) IO.FixMissingDpi();
    if (Result.AlphaMask && !IO.FAborting) B->GetAlphaChannel()->CopyFromTIEMask(Result.AlphaMask.get());
    if (IO.FAutoAdjustDPI && !IO.FAborting) IO.AdjustDpi();
    P.FileFormat = Format;
    if (SyncDpi) IO.SyncViewDPI();
    IO.UpdateAttached();
    IO.FPageCount = PageCount;
    return PageCount;
  }

  // Writes the current image as Format at Stream's position.  Does not fire
  // DoFinishWork.
  static void SaveCore(TFolioIO& IO, TStream* Stream, TIEFileFormat Format, bool StreamVariant) {
    IO.FAborting = false;
    if (!IO.PrepareBitmap()) {
      IO.FAborting = true;
      return;
    }
    TIOParamsVals& P = *IO.FParams;
    TIEBitmap* B = IO.FIEBitmap;
    if (B->GetWidth() <= 0 || B->GetHeight() <= 0) {
      IO.FAborting = true;
      return;
    }
    const TIECodec* Codec = WritingCodec(Format);
    if (!Codec) {
      IO.FAborting = true;
      return;
    }
    if (Codec->SaveAs24) {
      const TIEPixelFormat F = B->GetPixelFormat();
      if (F != ie24RGB && F != ie1g) B->ConvertToPixelFormat(ie24RGB);
    }
    const char* Magic = nullptr;
    if (StreamVariant && IO.FStreamHeaders && Codec->StreamHeader.HasHeader()) Magic = Codec->StreamHeader.Magic;
    const int64_t Start = Stream->GetPosition();
    if (Magic) {
      uint8_t Zero[StreamHeaderSize] = {};
      Stream->WriteBuffer(Zero, StreamHeaderSize);
    }
    TIEProgressRec Progress = IO.MakeProgress();
    if (!Codec->Write(Stream, B, P, Progress)) IO.FAborting = true;
    // The header states the length of what was written; a failed write
    // leaves it empty.
    if (Magic && !IO.FAborting) {
      const int64_t End = Stream->GetPosition();
      const int64_t Length = End - Start - StreamHeaderSize;
      uint8_t H[StreamHeaderSize];
      PutHeader(H, Magic, static_cast<uint32_t>(Length < 0 ? 0 : Length));
      Stream->SetPosition(Start);
      Stream->WriteBuffer(H, StreamHeaderSize);
      Stream->SetPosition(End);
    }
  }

  // Opens FileName for reading; the abort flag stays set and DoFinishWork
  // fires when that fails, and the error passes on.
  static std::unique_ptr<TStream> OpenForRead(TFolioIO& IO, const std::string& FileName) {
    IO.FAborting = true;
    try {
      return std::make_unique<TIEWideFileStream>(FileName, ReadMode);
    } catch (...) {
      IO.DoFinishWork();
      throw;
    }
  }
};

void IEWriteFileThroughTemp(const std::string& FileName, std::atomic<bool>& Aborting,
                            const std::function<void(TStream*)>& Write) {
  namespace fs = std::filesystem;
  const auto CreateError = [&](int Err) {
    Aborting = true;
    return EFCreateError(
        Format("Cannot create file \"%s\". %s", ExpandFileName(FileName).c_str(), SysErrorMessage(Err).c_str()));
  };
  std::string Target = FileName;
  std::error_code Ec;
  // Replace the file a link points to, not the link.
  if (fs::is_symlink(Target, Ec)) {
    const fs::path Resolved = fs::canonical(Target, Ec);
    if (!Ec) Target = Resolved.string();
  }
  // A file we may not write stays as it is, as when it was opened for writing.
  if (::access(Target.c_str(), F_OK) == 0 && ::access(Target.c_str(), W_OK) != 0) throw CreateError(errno);
  fs::path Dir = fs::path(Target).parent_path();
  if (Dir.empty()) Dir = ".";
  std::string Pattern = (Dir / ("." + fs::path(Target).filename().string() + ".XXXXXX")).string();
  std::vector<char> Name(Pattern.begin(), Pattern.end());
  Name.push_back('\0');
  const int Fd = ::mkostemp(Name.data(), O_CLOEXEC);
  if (Fd < 0) throw CreateError(errno);
  const std::string TempName(Name.data());
  struct stat St{};
  const mode_t Mode = ::stat(Target.c_str(), &St) == 0 ? (St.st_mode & 07777) : DefaultFileMode();
  ::fchmod(Fd, Mode);
  bool Stored = false;
  try {
    THandleStream Stream(Fd);
    Write(&Stream);
    // The data is on the disk before the name moves to it.
    Stored = ::fsync(Fd) == 0;
  } catch (...) {
    ::close(Fd);
    ::unlink(TempName.c_str());
    Aborting = true;
    throw;
  }
  if (::close(Fd) != 0) Stored = false;
  if (!Stored || Aborting || ::rename(TempName.c_str(), Target.c_str()) != 0) {
    ::unlink(TempName.c_str());
    Aborting = true;
  }
}

// ---------------------------------------------------------------------------
// TIFF, JPEG, PCX, DCX entry points

int32_t TFolioIO::LoadTiffFile(const std::string& FileName) {
  if (NeedAsync()) {
    StartWorker([=, this] { LoadTiffFile(FileName); });
    return -1;
  }
  auto Stream = TFolioIOAccess::OpenForRead(*this, FileName);
  int32_t Pages = 0;
  WithFinish(this, [&] { Pages = TFolioIOAccess::LoadCore(*this, Stream.get(), ioTIFF, FileName, false); });
  return Pages;
}

int32_t TFolioIO::LoadTiffStream(TStream* Stream) {
  if (NeedAsync()) {
    StartWorker([=, this] { LoadTiffStream(Stream); });
    return -1;
  }
  int32_t Pages = 0;
  WithFinish(this, [&] { Pages = TFolioIOAccess::LoadCore(*this, Stream, ioTIFF, "", true); });
  return Pages;
}

// The TIFF loads answer the page count and are written out above; the other
// entry points of the four formats follow one pattern.
#define FOLIO_SIMPLE_LOADS(NAME, ID)                                                                \
  void TFolioIO::Load##NAME##File(const std::string& FileName) {                                    \
    if (NeedAsync()) {                                                                              \
      StartWorker([=, this] { Load##NAME##File(FileName); });                                       \
      return;                                                                                       \
    }                                                                                               \
    auto Stream = TFolioIOAccess::OpenForRead(*this, FileName);                                     \
    WithFinish(this, [&] { TFolioIOAccess::LoadCore(*this, Stream.get(), ID, FileName, false); }); \
  }                                                                                                 \
  void TFolioIO::Load##NAME##Stream(TStream* Stream) {                                              \
    if (NeedAsync()) {                                                                              \
      StartWorker([=, this] { Load##NAME##Stream(Stream); });                                       \
      return;                                                                                       \
    }                                                                                               \
    WithFinish(this, [&] { TFolioIOAccess::LoadCore(*this, Stream, ID, "", true); });               \
  }

#define FOLIO_SIMPLE_SAVES(NAME, ID)                                              \
  void TFolioIO::Save##NAME##File(const std::string& FileName) {                  \
    if (NeedAsync()) {                                                            \
      StartWorker([=, this] { Save##NAME##File(FileName); });                     \
      return;                                                                     \
    }                                                                             \
    SaveBuiltInFile(FileName, ID);                                                \
  }                                                                               \
  void TFolioIO::Save##NAME##Stream(TStream* Stream) {                            \
    if (NeedAsync()) {                                                            \
      StartWorker([=, this] { Save##NAME##Stream(Stream); });                     \
      return;                                                                     \
    }                                                                             \
    WithFinish(this, [&] { TFolioIOAccess::SaveCore(*this, Stream, ID, true); }); \
  }

FOLIO_SIMPLE_LOADS(Jpeg, ioJPEG)
FOLIO_SIMPLE_LOADS(Pcx, ioPCX)
FOLIO_SIMPLE_LOADS(Dcx, ioDCX)
FOLIO_SIMPLE_LOADS(Tga, ioTGA)
FOLIO_SIMPLE_LOADS(Bmp, ioBMP)
FOLIO_SIMPLE_LOADS(Wbmp, ioWBMP)
FOLIO_SIMPLE_LOADS(Psd, ioPSD)
FOLIO_SIMPLE_LOADS(Hdp, ioHDP)
FOLIO_SIMPLE_SAVES(Tiff, ioTIFF)
FOLIO_SIMPLE_SAVES(Jpeg, ioJPEG)
FOLIO_SIMPLE_SAVES(Pcx, ioPCX)
FOLIO_SIMPLE_SAVES(Dcx, ioDCX)
FOLIO_SIMPLE_SAVES(Png, ioPNG)
FOLIO_SIMPLE_SAVES(Tga, ioTGA)
FOLIO_SIMPLE_SAVES(Bmp, ioBMP)
FOLIO_SIMPLE_SAVES(Ico, ioICO)
FOLIO_SIMPLE_SAVES(Wbmp, ioWBMP)
FOLIO_SIMPLE_SAVES(Ps, ioPS)
FOLIO_SIMPLE_SAVES(Pdf, ioPDF)
FOLIO_SIMPLE_SAVES(Psd, ioPSD)
FOLIO_SIMPLE_SAVES(Hdp, ioHDP)
#undef FOLIO_SIMPLE_LOADS
#undef FOLIO_SIMPLE_SAVES

// PNG loads hand the component's background to the codec as the default of
// a file without a background chunk, and take the file's back.
void TFolioIO::LoadPngFile(const std::string& FileName) {
  if (NeedAsync()) {
    StartWorker([=, this] { LoadPngFile(FileName); });
    return;
  }
  auto Stream = TFolioIOAccess::OpenForRead(*this, FileName);
  WithFinish(this, [&] {
    TFolioIOAccess::LoadCore(*this, Stream.get(), ioPNG, FileName, false,
                             [this] { FParams->PngBackgroundColor = IEColorToRGB(FBackground); });
    FBackground = IERGBToColor(FParams->PngBackgroundColor);
  });
}

void TFolioIO::LoadPngStream(TStream* Stream) {
  if (NeedAsync()) {
    StartWorker([=, this] { LoadPngStream(Stream); });
    return;
  }
  WithFinish(this, [&] {
    TFolioIOAccess::LoadCore(*this, Stream, ioPNG, "", true);
    FBackground = IERGBToColor(FParams->PngBackgroundColor);
  });
}

// Camera raw: a stream goes to the format the registry gives the extension
// "raw" when that is not camera raw (0: found by content).
void TFolioIO::LoadRawFile(const std::string& FileName) {
  if (NeedAsync()) {
    StartWorker([=, this] { LoadRawFile(FileName); });
    return;
  }
  auto Stream = TFolioIOAccess::OpenForRead(*this, FileName);
  WithFinish(this, [&] { TFolioIOAccess::LoadCore(*this, Stream.get(), ioRAW, FileName, false); });
}

void TFolioIO::LoadRawStream(TStream* Stream) {
  if (NeedAsync()) {
    StartWorker([=, this] { LoadRawStream(Stream); });
    return;
  }
  const TIEFileFormat Format = IEFormatOfExtension("raw");
  if (Format != ioRAW) {
    LoadFromStreamFormat(Stream, Format);
    return;
  }
  WithFinish(this, [&] { TFolioIOAccess::LoadCore(*this, Stream, ioRAW, "", true); });
}

// Headerless pixels laid out as the RawPixels parameters say; an empty name
// does nothing at all.
void TFolioIO::LoadRawBitmapFile(const std::string& FileName) {
  if (FileName.empty()) return;
  if (NeedAsync()) {
    StartWorker([=, this] { LoadRawBitmapFile(FileName); });
    return;
  }
  auto Stream = TFolioIOAccess::OpenForRead(*this, FileName);
  WithFinish(this, [&] { TFolioIOAccess::LoadCore(*this, Stream.get(), ioBMPRAW, FileName, false); });
}

void TFolioIO::LoadRawBitmapStream(TStream* Stream) {
  if (NeedAsync()) {
    StartWorker([=, this] { LoadRawBitmapStream(Stream); });
    return;
  }
  WithFinish(this, [&] { TFolioIOAccess::LoadCore(*this, Stream, ioBMPRAW, "", true); });
}

// ---------------------------------------------------------------------------
// Dispatch by format id

void TFolioIO::LoadBuiltInFile(const std::string& FileName, TIEFileFormat Format) {
  if (Format == ioGIF) {
    LoadGifFile(FileName);
    return;
  }
  if (!ReadingCodec(Format)) {
    // a format this build cannot read
    FAborting = true;
    DoFinishWork();
    return;
  }
  auto Stream = TFolioIOAccess::OpenForRead(*this, FileName);
  WithFinish(this, [&] { TFolioIOAccess::LoadCore(*this, Stream.get(), Format, FileName, false); });
}

void TFolioIO::LoadBuiltInStream(TStream* Stream, TIEFileFormat Format) {
  if (Format == ioGIF) {
    ReadGifStream(Stream);
    return;
  }
  WithFinish(this, [&] { TFolioIOAccess::LoadCore(*this, Stream, Format, "", true); });
}

void TFolioIO::SaveBuiltInFile(const std::string& FileName, TIEFileFormat Format) {
  WithFinish(this, [&] {
    FAborting = false;
    if (!PrepareBitmap()) {
      FAborting = true;
      return;
    }
    if (!WritingCodec(Format)) {
      // a format this build cannot write: no file is made
      FAborting = true;
      return;
    }
    IEWriteFileThroughTemp(FileName, FAborting,
                           [&](TStream* S) { TFolioIOAccess::SaveCore(*this, S, Format, false); });
    if (!FAborting) {
      FParams->FileName = FileName;
      FParams->FileFormat = Format;
    }
  });
}

void TFolioIO::SaveBuiltInStream(TStream* Stream, TIEFileFormat Format) {
  WithFinish(this, [&] { TFolioIOAccess::SaveCore(*this, Stream, Format, true); });
}

// ---------------------------------------------------------------------------
// Generic paths through a registered read or write procedure

void TFolioIO::GenericLoad(TStream* Stream, const std::string& FileName, TIEFileFormat Format) {
  TIEFileFormatInfo* Entry = IEFindFormatById(Format);
  FAborting = true;
  std::unique_ptr<TStream> FileStream;
  try {
    if (!Entry || !Entry->ReadProc || !PrepareBitmap()) {
      DoFinishWork();
      return;
    }
    if (!Stream) {
      FileStream = std::make_unique<TIEWideFileStream>(FileName, ReadMode);
      Stream = FileStream.get();
    }
    FAborting = false;
    TIEProgressRec Progress = MakeProgress();
    FParams->FileName = FileName;
    FParams->FileFormat = Format;
    Entry->ReadProc(Stream, FIEBitmap, *FParams, Progress, false);
  } catch (...) {
    FAborting = true;
  }
  try {
    if (!FAborting) {
      if (FAutoAdjustDPI) AdjustDpi();
      SyncViewDPI();
    }
    UpdateAttached();
  } catch (...) {
    FAborting = true;
  }
  FileStream.reset();
  DoFinishWork();
}

void TFolioIO::GenericSave(TStream* Stream, const std::string& FileName, TIEFileFormat Format) {
  TIEFileFormatInfo* Entry = IEFindFormatById(Format);
  FAborting = true;
  try {
    if (!Entry || !Entry->WriteProc || !PrepareBitmap()) {
      DoFinishWork();
      return;
    }
    if (!Is24Or1(FIEBitmap)) FIEBitmap->ConvertToPixelFormat(ie24RGB);
    auto Write = [&](TStream* S) {
      FAborting = false;
      TIEProgressRec Progress = MakeProgress();
      Entry->WriteProc(S, FIEBitmap, *FParams, Progress);
    };
    if (Stream) {
      Write(Stream);
    } else {
      IEWriteFileThroughTemp(FileName, FAborting, Write);
      if (!FAborting) {
        FParams->FileName = FileName;
        FParams->FileFormat = Format;
      }
    }
  } catch (...) {
    FAborting = true;
  }
  DoFinishWork();
}

bool TFolioIO::Is24Or1(TIEBitmap* Bitmap) {
  const TIEPixelFormat F = Bitmap->GetPixelFormat();
  return F == ie24RGB || F == ie1g;
}

// ---------------------------------------------------------------------------
// Generic loading and saving

void TFolioIO::LoadFromFile(const std::string& FileName) {
  if (NeedAsync()) {
    StartWorker([=, this] { LoadFromFile(FileName); });
    return;
  }
  if (!FIEBitmap || FileName.empty()) {
    FAborting = true;
    DoFinishWork();
    return;
  }
  if (IEGetURLTypeW(FileName) != 0) {
    LoadUrl(FileName);
    return;
  }
  if (IEFileExtensionW(FileName) == ".avi") {
    // one frame of the video: opened, read and closed at once
    const int32_t Frames = OpenAviFile(FileName);
    if (Frames > 0) {
      LoadAviFrame(FParams->ImageIndex);
      if (FParams->ImageIndex >= Frames) FAborting = true;
    } else {
      DoFinishWork();
    }
    CloseAviFile();
    FParams->FileName = FileName;
    FParams->FileFormat = ioAVI;
    return;
  }
  TIEFileFormatInfo* Entry = IEFindFormatByExtension(IEFileExtensionW(FileName));
  if (!Entry) {
    FAborting = true;
    DoFinishWork();
    return;
  }
  if (Entry->BuiltIn) {
    LoadBuiltInFile(FileName, Entry->FormatId);
    return;
  }
  LoadRegisteredFile(FileName, *Entry);
}

void TFolioIO::LoadRegisteredFile(const std::string& FileName, const TIEFileFormatInfo& Entry) {
  // The previous file's description goes even when nothing can be read.
  FParams->FileName.clear();
  FParams->FileFormat = ioUnknown;
  FParams->ClearFileInfo();
  if (!Entry.ReadProc) {
    FAborting = true;
    DoFinishWork();
    return;
  }
  GenericLoad(nullptr, FileName, Entry.FormatId);
}

void TFolioIO::LoadUrl(const std::string& URL) {
  if (NeedAsync()) {
    StartWorker([=, this] { LoadUrl(URL); });
    return;
  }
  if (!FIEBitmap) {
    FAborting = true;
    DoFinishWork();
    return;
  }
  // A flag left set by an earlier failure must not stop this download.
  FAborting = false;
  TMemoryStream Stream;
  std::string Ext;  // the type is taken from the content, not from the answer
  TIEFileFormat Format = ioUnknown;
  try {
    const bool Done =
        IEGetFromURL(URL, &Stream, FProxyAddress, FProxyUser, FProxyPassword,
                     [this](TObject* Sender, int32_t per) { DoProgress(Sender, per); }, this, &FAborting, Ext);
    if (Done) {
      Stream.SetPosition(0);
      Format = IEDetectStreamFormat(&Stream);
      Stream.SetPosition(0);
    }
  } catch (...) {
    Format = ioUnknown;
  }
  if (Format == ioUnknown || !IEFindFormatById(Format)) {
    // failed, aborted, or nothing we can read: never a silent success
    FAborting = true;
    DoFinishWork();
    return;
  }
  // the stream lives on this stack: no worker may take it over
  ++FForceSync;
  try {
    LoadFromStreamFormat(&Stream, Format);
  } catch (...) {
    --FForceSync;
    throw;
  }
  --FForceSync;
}

void TFolioIO::LoadFromFileAuto(const std::string& FileName) {
  const TIEFileFormat Format = IEDetectFileFormat(FileName, false);
  if (Format != ioUnknown)
    LoadFromFileFormat(FileName, Format);
  else
    LoadFromFile(FileName);
}

void TFolioIO::LoadFromFileFormat(const std::string& FileName, TIEFileFormat Format) {
  if (NeedAsync()) {
    StartWorker([=, this] { LoadFromFileFormat(FileName, Format); });
    return;
  }
  TIEFileFormatInfo* Entry = IEFindFormatById(Format);
  if (!Entry) return;
  if (Entry->BuiltIn) {
    if (Format == ioPS || Format == ioPDF) {
      LoadFromFile(FileName);
      return;
    }
    if (!FIEBitmap) {
      FAborting = true;
      DoFinishWork();
      return;
    }
    LoadBuiltInFile(FileName, Format);
    return;
  }
  LoadRegisteredFile(FileName, *Entry);
}

void TFolioIO::SaveToFile(const std::string& FileName) {
  if (NeedAsync()) {
    StartWorker([=, this] { SaveToFile(FileName); });
    return;
  }
  const std::string Ext = IEFileExtensionW(FileName);
  const TIEFileFormat Format = FileName.empty() ? ioUnknown : SaveFormatOfExtension(Ext);
  if (Format != ioUnknown) {
    SaveBuiltInFile(FileName, Format);
    return;
  }
  TIEFileFormatInfo* Entry = FileName.empty() ? nullptr : IEFindFormatByExtension(Ext);
  if (Entry && !Entry->BuiltIn && Entry->WriteProc) {
    GenericSave(nullptr, FileName, Entry->FormatId);
    return;
  }
  // no entry, a built-in entry reached only through the registry (xif, iev),
  // or an entry without write procedure: nothing is written
  FAborting = true;
  DoFinishWork();
}

void TFolioIO::LoadFromBuffer(const void* Buffer, int64_t Size, TIEFileFormat Format) {
  if (!Buffer || Size <= 0) {
    FAborting = true;
    DoFinishWork();
    return;
  }
  // The stream lives on this stack: the load runs here, never in a worker.
  TIEMemStream Stream(const_cast<void*>(Buffer), Size);
  ++FForceSync;
  try {
    if (Format != ioUnknown)
      LoadFromStreamFormat(&Stream, Format);
    else
      LoadFromStream(&Stream);
  } catch (...) {
    --FForceSync;
    throw;
  }
  --FForceSync;
}

void TFolioIO::ReadParamsFromBuffer(const void* Buffer, int64_t Size, TIEFileFormat Format) {
  if (!Buffer || Size <= 0) {
    FAborting = true;
    DoFinishWork();
    return;
  }
  TIEMemStream Stream(const_cast<void*>(Buffer), Size);
  if (Format != ioUnknown)
    ReadParamsFromStreamFormat(&Stream, Format);
  else
    ReadParamsFromStream(&Stream);
}

void TFolioIO::LoadFromStream(TStream* Stream) {
  if (NeedAsync()) {
    StartWorker([=, this] { LoadFromStream(Stream); });
    return;
  }
  if (!Stream) return;
  const int64_t Pos = Stream->GetPosition();
  const TIEFileFormat Format = IEDetectStreamFormat(Stream);
  Stream->SetPosition(Pos);
  if (Format == ioUnknown || !IEFindFormatById(Format)) return;
  LoadFromStreamFormat(Stream, Format);
}

void TFolioIO::LoadFromStreamFormat(TStream* Stream, TIEFileFormat Format) {
  if (NeedAsync()) {
    StartWorker([=, this] { LoadFromStreamFormat(Stream, Format); });
    return;
  }
  if (!Stream) return;
  if (Format == ioUnknown) {
    LoadFromStream(Stream);
    return;
  }
  TIEFileFormatInfo* Entry = IEFindFormatById(Format);
  if (!Entry) return;
  if (Entry->BuiltIn) {
    LoadBuiltInStream(Stream, Format);
    return;
  }
  GenericLoad(Stream, "", Format);
}

void TFolioIO::SaveToStream(TStream* Stream, TIEFileFormat Format) {
  if (NeedAsync()) {
    StartWorker([=, this] { SaveToStream(Stream, Format); });
    return;
  }
  if (IEFindCodec(Format)) {
    SaveBuiltInStream(Stream, Format);
    return;
  }
  TIEFileFormatInfo* Entry = IEFindFormatById(Format);
  if (Entry && !Entry->BuiltIn && Entry->WriteProc && Stream) {
    GenericSave(Stream, "", Format);
    return;
  }
  FAborting = true;
  DoFinishWork();
}

// ---------------------------------------------------------------------------
// Parameters only

void TFolioIO::ReadParamsCommon(TStream* Stream, TIEFileFormat Format) {
  TIOParamsVals& P = *FParams;
  P.FileFormat = Format;
  P.ClearFileInfo();
  FAborting = true;
  TIEProgressRec Progress = MakeProgress(true);
  try {
    const TIECodec* Codec = ReadingCodec(Format);
    THeader Header;
    if (Codec) {
      Header = ReadStreamHeader(Stream, *Codec, FStreamHeaders);
      if (!Header.Ok) {
        P.FileFormat = ioUnknown;
        return;
      }
    }
    TIEBufferedReadStream Buffered(Stream, ReadBufferSize, false);
    FAborting = false;
    TIEBitmap Scratch;
    TIEFileFormatInfo* Entry = IEFindFormatById(Format);
    if (Codec) {
      TIECodecReadRequest Request;
      Request.Stream = &Buffered;
      Request.Bitmap = &Scratch;
      Request.Params = &P;
      Request.Progress = &Progress;
      Request.ParamsOnly = true;
      Request.DataSize = DataSizeAfter(&Buffered, Header);
      TIECodecReadResult Result;
      Codec->Read(Request, Result);
    } else if (Entry && !Entry->BuiltIn && Entry->ReadProc) {
      Entry->ReadProc(&Buffered, &Scratch, P, Progress, true);
    } else {
      // nothing can read this format
      FAborting = true;
    }
  } catch (...) {
    FAborting = true;
  }
  if (FAborting) P.FileFormat = ioUnknown;
}

void TFolioIO::ReadParamsFromFileFormat(const std::string& FileName, TIEFileFormat Format) {
  FParams->FileFormat = Format;
  FParams->ClearFileInfo();
  FAborting = true;
  std::unique_ptr<TStream> Stream;
  try {
    Stream = std::make_unique<TIEWideFileStream>(FileName, ReadMode);
  } catch (...) {
    FParams->FileFormat = ioUnknown;
    DoFinishWork();
    throw;
  }
  ReadParamsCommon(Stream.get(), Format);
  FParams->FileName = FileName;
  DoFinishWork();
}

void TFolioIO::ReadParamsFromStreamFormat(TStream* Stream, TIEFileFormat Format) {
  if (!Stream) {
    FAborting = true;
    FParams->FileFormat = ioUnknown;
    DoFinishWork();
    return;
  }
  ReadParamsCommon(Stream, Format);
  DoFinishWork();
}

void TFolioIO::ReadParamsFromFile(const std::string& FileName) {
  try {
    ReadParamsFromFileFormat(FileName, IEDetectFileFormat(FileName, true));
  } catch (...) {
    FParams->FileFormat = ioUnknown;
  }
}

void TFolioIO::ReadParamsFromStream(TStream* Stream) {
  try {
    const TIEFileFormat Format = Stream ? IEDetectStreamFormat(Stream) : ioUnknown;
    ReadParamsFromStreamFormat(Stream, Format);
  } catch (...) {
    FParams->FileFormat = ioUnknown;
  }
}

// ---------------------------------------------------------------------------
// Page counts

int32_t IEFileImageCount(const std::string& FileName, TIEFileFormat Format) {
  const TIECodec* Codec = IEFindCodec(Format);
  if (!Codec || !Codec->PageCount) return 0;
  TIEWideFileStream Stream(FileName, ReadMode);
  return Codec->PageCount(&Stream);
}

int32_t IETiffFileImageCount(const std::string& FileName) { return IEFileImageCount(FileName, ioTIFF); }

int32_t IEDcxFileImageCount(const std::string& FileName) { return IEFileImageCount(FileName, ioDCX); }

TIEFileFormat IEFormatOfExtension(const std::string& Ext) {
  std::string Lower = Ext;
  std::transform(Lower.begin(), Lower.end(), Lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  if (!Lower.empty() && Lower[0] != '.') Lower.insert(Lower.begin(), '.');
  const TIEFileFormatInfo* Entry = IEFindFormatByExtension(Lower);
  return Entry ? Entry->FormatId : ioUnknown;
}
