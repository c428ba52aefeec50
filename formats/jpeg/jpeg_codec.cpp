#include "formats/jpeg/jpeg_codec.h"

#include <atomic>
#include <csetjmp>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

// libjpeg's headers need FILE and size_t before them.
#include <jpeglib.h>
#include <jerror.h>

#include "foundations/icc_profile.h"
#include "foundations/image_buffer.h"
#include "foundations/ie_streams.h"
#include "foundations/iptc.h"
#include "foundations/jpeg_markers.h"
#include "foundations/settings.h"
#include "foundations/xmp_dicom_tags.h"
#include "formats/jpeg/exif_block.h"
#include "formats/io_params.h"
#include "foundations/progress.h"
#include "formats/row_colour_converter.h"
#include "platform/rtl/streams.h"

namespace {

constexpr int32_t kBufferSize = 65536;

// ---------------------------------------------------------------------------
// Message texts

// Copies Format into Out (at most Size - 1 characters), every printf
// conversion replaced by "?".  Allocates nothing: the error exit calls it
// before it jumps.
void CopyMessage(const char* Format, char* Out, size_t Size) {
  size_t n = 0;
  for (const char* p = Format; *p && n + 1 < Size; ++p) {
    if (*p != '%') {
      Out[n++] = *p;
      continue;
    }
    if (p[1] == '%') {
      Out[n++] = '%';
      ++p;
      continue;
    }
    ++p;
    while (*p && std::strchr("-+ #0123456789.lhzjt", *p)) ++p;
    Out[n++] = '?';
    if (!*p) break;
  }
  Out[n] = 0;
}

void MessageTextInto(const jpeg_error_mgr* Err, int Code, char* Out, size_t Size) {
  Out[0] = 0;
  if (Code == JMSG_COPYRIGHT || Code == JMSG_VERSION) return;
  if (Code >= 0 && Code <= Err->last_jpeg_message && Err->jpeg_message_table &&
      Err->jpeg_message_table[Code]) {
    CopyMessage(Err->jpeg_message_table[Code], Out, Size);
    return;
  }
  std::snprintf(Out, Size, "%s", "Corrupted");
}

// ---------------------------------------------------------------------------
// Error manager: one per codec object, on the caller's stack.

struct TJpegError {
  jpeg_error_mgr pub;
  std::jmp_buf Jump;
  std::atomic<bool>* Aborting = nullptr;
  int32_t Warnings = 0;
  char Text[256] = {0};
  bool Failed = false;
};

void ErrorExit(j_common_ptr Info) {
  TJpegError* e = reinterpret_cast<TJpegError*>(Info->err);
  if (e->Aborting) *e->Aborting = true;
  const int code = e->pub.msg_code;
  // Finishing a compression early is reported but not fatal: the codec
  // carries on and writes what it has.
  if (code == JERR_TOO_LITTLE_DATA) return;
  MessageTextInto(&e->pub, code, e->Text, sizeof(e->Text));
  e->Failed = true;
  std::longjmp(e->Jump, 1);
}

void EmitMessage(j_common_ptr Info, int Level) {
  TJpegError* e = reinterpret_cast<TJpegError*>(Info->err);
  if (Level == -1) {
    ++e->Warnings;
    ++e->pub.num_warnings;
  }
}

void OutputMessage(j_common_ptr) {}
void FormatMessage(j_common_ptr, char* Buffer) { Buffer[0] = 0; }

void ResetError(j_common_ptr Info) {
  TJpegError* e = reinterpret_cast<TJpegError*>(Info->err);
  e->Warnings = 0;
  e->pub.num_warnings = 0;
  e->pub.msg_code = 0;
}

void InitError(TJpegError& E, std::atomic<bool>* Aborting) {
  jpeg_std_error(&E.pub);
  E.pub.error_exit = ErrorExit;
  E.pub.emit_message = EmitMessage;
  E.pub.output_message = OutputMessage;
  E.pub.format_message = FormatMessage;
  E.pub.reset_error_mgr = ResetError;
  E.Aborting = Aborting;
}

// ---------------------------------------------------------------------------
// Source manager

struct TJpegSource {
  jpeg_source_mgr pub;
  TStream* Stream = nullptr;
  bool StartOfFile = true;
  bool Exhausted = false;  // the stream ran dry and a fake EOI was supplied
  std::atomic<bool>* Aborting = nullptr;
  JOCTET Buffer[kBufferSize];
};

void SourceInit(j_decompress_ptr Info) {
  reinterpret_cast<TJpegSource*>(Info->src)->StartOfFile = true;
}

boolean SourceFill(j_decompress_ptr Info) {
  TJpegSource* s = reinterpret_cast<TJpegSource*>(Info->src);
  int64_t n = 0;
  try {
    n = s->Stream->Read(s->Buffer, kBufferSize);
  } catch (...) {
    n = 0;  // never let an exception into the codec's frames
  }
  if (n <= 0) {
    if (s->StartOfFile && s->Aborting) *s->Aborting = true;
    s->Exhausted = true;
    s->Buffer[0] = 0xFF;
    s->Buffer[1] = JPEG_EOI;
    n = 2;
  }
  s->pub.next_input_byte = s->Buffer;
  s->pub.bytes_in_buffer = size_t(n);
  s->StartOfFile = false;
  return TRUE;
}

void SourceSkip(j_decompress_ptr Info, long Count) {
  if (Count < 1) return;
  TJpegSource* s = reinterpret_cast<TJpegSource*>(Info->src);
  while (Count > long(s->pub.bytes_in_buffer)) {
    Count -= long(s->pub.bytes_in_buffer);
    SourceFill(Info);
  }
  s->pub.next_input_byte += Count;
  s->pub.bytes_in_buffer -= size_t(Count);
}

void SourceTerm(j_decompress_ptr) {}

void PointSource(TJpegSource* S, TStream* Stream) {
  S->Stream = Stream;
  S->StartOfFile = true;
  S->pub.init_source = SourceInit;
  S->pub.fill_input_buffer = SourceFill;
  S->pub.skip_input_data = SourceSkip;
  S->pub.resync_to_restart = jpeg_resync_to_restart;
  S->pub.term_source = SourceTerm;
  S->pub.next_input_byte = nullptr;
  S->pub.bytes_in_buffer = 0;
}

// ---------------------------------------------------------------------------
// Destination manager

struct TJpegDest {
  jpeg_destination_mgr pub;
  TStream* Stream = nullptr;
  std::atomic<bool>* Aborting = nullptr;
  JOCTET Buffer[kBufferSize];
};

bool DestWrite(TJpegDest* D, int64_t Count) {
  int64_t n = 0;
  try {
    n = D->Stream->Write(D->Buffer, Count);
  } catch (...) {
    n = 0;
  }
  if (n != Count) {
    if (D->Aborting) *D->Aborting = true;
    return false;
  }
  return true;
}

void DestInit(j_compress_ptr Info) {
  TJpegDest* d = reinterpret_cast<TJpegDest*>(Info->dest);
  d->pub.next_output_byte = d->Buffer;
  d->pub.free_in_buffer = kBufferSize;
}

boolean DestEmpty(j_compress_ptr Info) {
  TJpegDest* d = reinterpret_cast<TJpegDest*>(Info->dest);
  DestWrite(d, kBufferSize);
  d->pub.next_output_byte = d->Buffer;
  d->pub.free_in_buffer = kBufferSize;
  return TRUE;
}

void DestTerm(j_compress_ptr Info) {
  TJpegDest* d = reinterpret_cast<TJpegDest*>(Info->dest);
  const int64_t filled = kBufferSize - int64_t(d->pub.free_in_buffer);
  if (filled > 0) DestWrite(d, filled);
}

// ---------------------------------------------------------------------------
// Guarded library calls.  Each one is a frame without C++ objects: the error
// exit jumps back here and the function answers false; the caller turns that
// into the abort flag or an exception once this frame is gone.

#define JPEG_GUARD(InfoPtr)                                                   \
  TJpegError* guard_ = reinterpret_cast<TJpegError*>((InfoPtr)->err);         \
  if (setjmp(guard_->Jump)) return false

bool GCreateDecompress(j_decompress_ptr Info) {
  JPEG_GUARD(Info);
  jpeg_CreateDecompress(Info, JPEG_LIB_VERSION, sizeof(jpeg_decompress_struct));
  return true;
}

bool GSaveMarkers(j_decompress_ptr Info) {
  JPEG_GUARD(Info);
  jpeg_save_markers(Info, JPEG_COM, 0xFFFF);
  for (int m = 0; m < 16; ++m) jpeg_save_markers(Info, JPEG_APP0 + m, 0xFFFF);
  return true;
}

bool GReadHeader(j_decompress_ptr Info, bool RequireImage) {
  JPEG_GUARD(Info);
  jpeg_read_header(Info, RequireImage ? TRUE : FALSE);
  return true;
}

bool GCalcOutput(j_decompress_ptr Info) {
  JPEG_GUARD(Info);
  jpeg_calc_output_dimensions(Info);
  return true;
}

bool GStartDecompress(j_decompress_ptr Info) {
  JPEG_GUARD(Info);
  jpeg_start_decompress(Info);
  return true;
}

bool GReadScanline(j_decompress_ptr Info, uint8_t* Row, uint32_t& Got) {
  JPEG_GUARD(Info);
  JSAMPROW rows[1] = {Row};
  Got = jpeg_read_scanlines(Info, rows, 1);
  return true;
}

bool GFinishDecompress(j_decompress_ptr Info) {
  JPEG_GUARD(Info);
  jpeg_finish_decompress(Info);
  return true;
}

bool GCreateCompress(j_compress_ptr Info) {
  JPEG_GUARD(Info);
  jpeg_CreateCompress(Info, JPEG_LIB_VERSION, sizeof(jpeg_compress_struct));
  return true;
}

struct TCompressSetup {
  J_COLOR_SPACE JpegSpace;
  int Quality;
  J_DCT_METHOD Dct;
  bool SetDct;
  bool Optimize;
  int Smoothing;
  int Subsampling;  // -1: leave
  bool Progressive;
  bool WriteJfif;
  uint16_t DensityX, DensityY;
};

bool GSetupCompress(j_compress_ptr Info, const TCompressSetup* S) {
  JPEG_GUARD(Info);
  jpeg_set_defaults(Info);
  jpeg_set_colorspace(Info, S->JpegSpace);
  Info->density_unit = 1;
  Info->X_density = S->DensityX;
  Info->Y_density = S->DensityY;
  if (S->SetDct) Info->dct_method = S->Dct;
  Info->optimize_coding = S->Optimize ? TRUE : FALSE;
  Info->smoothing_factor = S->Smoothing;
  jpeg_set_quality(Info, S->Quality, TRUE);
  if (S->Subsampling >= 0 && Info->num_components >= 3) {
    static const int h[3] = {2, 2, 1}, v[3] = {1, 2, 1};
    Info->comp_info[0].h_samp_factor = h[S->Subsampling];
    Info->comp_info[0].v_samp_factor = v[S->Subsampling];
    for (int c = 1; c < 3; ++c) {
      Info->comp_info[c].h_samp_factor = 1;
      Info->comp_info[c].v_samp_factor = 1;
    }
  }
  if (S->WriteJfif) Info->write_JFIF_header = TRUE;
  if (S->Progressive) jpeg_simple_progression(Info);
  return true;
}

bool GStartCompress(j_compress_ptr Info) {
  JPEG_GUARD(Info);
  jpeg_start_compress(Info, TRUE);
  return true;
}

bool GWriteMarker(j_compress_ptr Info, int Code, const uint8_t* Data, unsigned Length) {
  JPEG_GUARD(Info);
  jpeg_write_marker(Info, Code, Data, Length);
  return true;
}

bool GWriteScanline(j_compress_ptr Info, uint8_t* Row) {
  JPEG_GUARD(Info);
  JSAMPROW rows[1] = {Row};
  jpeg_write_scanlines(Info, rows, 1);
  return true;
}

bool GFinishCompress(j_compress_ptr Info) {
  JPEG_GUARD(Info);
  jpeg_finish_compress(Info);
  return true;
}

#undef JPEG_GUARD

// ---------------------------------------------------------------------------
// Helpers

void SwapRB(uint8_t* P, int32_t Count) {
  for (int32_t i = 0; i < Count; ++i, P += 3) std::swap(P[0], P[2]);
}

// Reads bytes one at a time through an 8192-byte window.
class TByteReader {
 public:
  explicit TByteReader(TStream* S) : FStream(S) {}
  bool Refill() {
    int64_t n = 0;
    try {
      n = FStream->Read(FBuf, sizeof(FBuf));
    } catch (...) {
      n = 0;
    }
    if (n <= 0) return false;
    FPos = 0;
    FLen = int32_t(n);
    return true;
  }
  bool Get(uint8_t& B) {
    if (FPos >= FLen && !Refill()) return false;
    B = FBuf[FPos++];
    ++FConsumed;
    return true;
  }
  bool Get16(int32_t& V) {
    uint8_t a, b;
    if (!Get(a) || !Get(b)) return false;
    V = (int32_t(a) << 8) | b;
    return true;
  }
  bool Skip(int64_t N) {
    while (N > 0) {
      if (FPos >= FLen && !Refill()) return false;
      const int64_t k = std::min<int64_t>(N, FLen - FPos);
      FPos += int32_t(k);
      FConsumed += k;
      N -= k;
    }
    return true;
  }
  bool Read(uint8_t* Dst, int64_t N) {
    for (int64_t i = 0; i < N; ++i)
      if (!Get(Dst[i])) return false;
    return true;
  }
  int64_t Consumed() const { return FConsumed; }

 private:
  TStream* FStream;
  uint8_t FBuf[8192];
  int32_t FPos = 0;
  int32_t FLen = 0;
  int64_t FConsumed = 0;
};

// Restores a stream's position when it goes out of scope.
class TPositionKeeper {
 public:
  explicit TPositionKeeper(TStream* S) : FStream(S), FPos(S->GetPosition()) {}
  ~TPositionKeeper() {
    try {
      FStream->SetPosition(FPos);
    } catch (...) {
    }
  }
  int64_t Start() const { return FPos; }

 private:
  TStream* FStream;
  int64_t FPos;
};

void ReportRow(TIEProgressRec& Progress, int32_t Done, double Step) {
  if (!Progress.fOnProgress) return;
  const int32_t p = int32_t(Done * Step);
  if (p != Progress.last) {
    Progress.last = p;
    Progress.Report(p);
  }
}

}  // namespace

std::string IEJpegMessageText(int32_t Code) {
  jpeg_error_mgr err;
  jpeg_std_error(&err);
  char text[256];
  MessageTextInto(&err, Code, text, sizeof(text));
  return text;
}

// ---------------------------------------------------------------------------

int64_t JpegIsStream(TStream* Stream, bool Scan) {
  TPositionKeeper keep(Stream);
  uint8_t buf[152];
  int64_t n = 0;
  try {
    n = Stream->Read(buf, Scan ? int64_t(sizeof(buf)) : 3);
  } catch (...) {
    return -1;
  }
  const int64_t tries = Scan ? 150 : 1;
  for (int64_t i = 0; i < tries && i + 3 <= n; ++i)
    if (buf[i] == 0xFF && buf[i + 1] == 0xD8 && buf[i + 2] == 0xFF) return Scan ? keep.Start() + i : 0;
  return -1;
}

int32_t JpegStreamSize(TStream* Stream) {
  TPositionKeeper keep(Stream);
  TByteReader r(Stream);
  uint8_t b;
  bool more = true;
  while (more && r.Get(b)) {
    if (b != 0xFF) continue;
    uint8_t m;
    // Fill bytes may stand before any marker.
    do {
      more = r.Get(m);
    } while (more && m == 0xFF);
    if (!more || m == 0xD9) break;
    if ((m >= 0xC0 && m <= 0xCF) || (m >= 0xDA && m <= 0xFE)) {
      int32_t len;
      if (!r.Get16(len)) break;
      if (len > 2 && !r.Skip(len - 2)) break;
    }
  }
  return int32_t(std::min<int64_t>(r.Consumed(), INT32_MAX));
}

void IEJpegReadIccProfile(TStream* Stream, TIOParamsVals& Params) {
  TPositionKeeper keep(Stream);
  TByteReader r(Stream);
  std::vector<std::vector<uint8_t>> chunks;  // index = sequence number - 1
  std::vector<bool> seen;
  int32_t announced = 0, got = 0;
  uint8_t b;
  bool stop = false;
  while (!stop && r.Get(b)) {
    if (b != 0xFF) continue;
    uint8_t m;
    if (!r.Get(m)) break;
    if (m <= 0xBF || (m >= 0xD0 && m <= 0xD8) || m == 0xFF) continue;
    int32_t len;
    if (m == 0xC4 || m == 0xC8 || m == 0xCC || (m >= 0xDA && m <= 0xE1) || (m >= 0xE3 && m <= 0xFE)) {
      if (!r.Get16(len) || (len > 2 && !r.Skip(len - 2))) break;
      continue;
    }
    if (m != 0xE2) break;  // a frame header or EOI ends the walk
    if (!r.Get16(len) || len < 2) break;
    std::vector<uint8_t> data(size_t(len - 2));
    if (!r.Read(data.data(), int64_t(data.size()))) break;
    if (data.size() < 14 || std::memcmp(data.data(), "ICC_PROFILE\0", 12) != 0) continue;
    const int32_t seq = data[12], total = data[13];
    // A chunk numbered outside 1..total, a total that changes between chunks
    // or a sequence number seen before is not part of a well-formed profile.
    if (total < 1 || seq < 1 || seq > total || (announced && total != announced)) continue;
    if (!announced) {
      announced = total;
      chunks.assign(size_t(total), {});
      seen.assign(size_t(total), false);
    }
    if (seen[size_t(seq - 1)]) continue;
    seen[size_t(seq - 1)] = true;
    chunks[size_t(seq - 1)].assign(data.begin() + 14, data.end());
    if (++got == announced) stop = true;
  }
  std::vector<uint8_t> profile;
  for (auto& c : chunks) profile.insert(profile.end(), c.begin(), c.end());
  if (!profile.empty() && profile.size() <= size_t(INT32_MAX))
    Params.GetInputIccProfile()->LoadFromBuffer(profile.data(), int32_t(profile.size()));
}

// ---------------------------------------------------------------------------
// Reader, in stages: header and markers, colour-space choice, output set-up,
// then a scanline source feeding a row writer chosen once per image; after
// the rows, the kept markers and the metadata they carry.

namespace {

// How decoded rows land in the bitmap, chosen once from the decoder's output
// colour space and the bitmap's pixel format.
enum class TJpegRowPath : uint8_t {
  Direct,         // the decoder writes straight into the bitmap row
  DirectSwapRB,   // stored RGB samples: straight in, then red and blue swapped
  GrayToBgr,      // gray samples spread over the three channels of ie24RGB
  CmykToBgr,      // CMYK samples (inverted where stored so) converted to BGR
  BgrThroughIcc,  // BGR samples through the embedded colour profile
  Discard,        // a space the bitmap cannot hold: rows are decoded and dropped
};

class TJpegReader {
 public:
  TJpegReader(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
              const TJpegReadRequest& Request, std::atomic<bool>* Aborting)
      : FStream(Stream), FBitmap(Bitmap), FParams(Params), FProgress(Progress), FRequest(Request),
        FAborting(Aborting), FMaxRows(Request.MaxRows) {}

  TJpegReader(const TJpegReader&) = delete;
  TJpegReader& operator=(const TJpegReader&) = delete;

  // Finds SOI, gathers the ICC chunks when asked and creates the
  // decompressor; false (with the abort flag) when there is nothing to read.
  bool Open() {
    const int64_t soi = JpegIsStream(FStream, true);
    if (soi < 0) {
      *FAborting = true;
      return false;
    }
    FStream->SetPosition(soi);
    if (FRequest.ReadIccChunks) IEJpegReadIccProfile(FStream, FParams);
    FUseIcc = FParams.InputIccProfile && IEColorManagement;

    InitError(FErr, FAborting);
    std::memset(&FInfo, 0, sizeof(FInfo));
    FInfo.err = &FErr.pub;
    if (!GCreateDecompress(&FInfo)) {
      *FAborting = true;
      return false;
    }
    FCreated = true;
    // The codec's own working memory (a progressive image keeps all of its
    // coefficients) stays bounded whatever a damaged header claims.
    FInfo.mem->max_memory_to_use = 2000L * 1024 * 1024;
    FSrc = std::make_unique<TJpegSource>();
    FSrc->Aborting = FAborting;
    FInfo.src = &FSrc->pub;
    FDataLeft = FStream->GetSize() - soi;
    return true;
  }

  ~TJpegReader() {
    if (FCreated) jpeg_destroy_decompress(&FInfo);
  }

  // Every stage up to the last row; stops early on a failure, a
  // parameters-only read or an output space with no bitmap format.
  void Decode() {
    if (!ReadHeaderAndMarkers()) return;
    ChooseColorSpace();
    ReadHeaderFacts();
    if (FRequest.ParamsOnly) {
      FParams.Width = int32_t(FInfo.image_width);
      FParams.Height = int32_t(FInfo.image_height);
      return;
    }
    if (!PrepareOutput()) return;
    ReadRows();
  }

  // The kept markers into the parameter set, the decompressor finished and
  // released, the warnings reported, the metadata read from the markers.
  int32_t Close() {
    KeepMarkers();
    if (!FFailed && !FRequest.ParamsOnly && FInfo.output_height > 0 &&
        FInfo.output_scanline >= FInfo.output_height) {
      FErr.Aborting = nullptr;
      GFinishDecompress(&FInfo);
    }
    jpeg_destroy_decompress(&FInfo);
    FCreated = false;
    if (FErr.Warnings > 0) {
      FParams.JpegWarningCount = FErr.Warnings;
      FParams.JpegLastWarningCode = FErr.pub.msg_code;
    }
    FSrc.reset();
    if (FRequest.ReadMetadata && FParams.JpegMarkers) ReadMarkerMetadata();
    return FRowsRead;
  }

 private:
  void Fail() {
    *FAborting = true;
    FFailed = true;
  }

  // Tables first (an abbreviated tables-only JPEG), then the image's header
  // with its markers kept for the metadata.
  bool ReadHeaderAndMarkers() {
    TStream* tables = FRequest.TablesStream;
    if (tables && tables != FStream) {
      PointSource(FSrc.get(), tables);
      if (!GReadHeader(&FInfo, false)) {
        FFailed = true;
        return false;
      }
    }
    PointSource(FSrc.get(), FStream);
    if (!GSaveMarkers(&FInfo) || !GReadHeader(&FInfo, true)) {
      FFailed = true;
      return false;
    }
    return true;
  }

  // The file's colour space into the parameters, and the space the decoder
  // delivers: BGR for colour, gray and CMYK as they are, or the samples as
  // stored when no conversion is asked for.
  void ChooseColorSpace() {
    FParams.SetImageCount(1);
    FParams.BitsPerSample = 8;
    FSpace = FInfo.jpeg_color_space;
    switch (FSpace) {
      case JCS_GRAYSCALE:
        FInfo.out_color_space = JCS_GRAYSCALE;
        FParams.JpegColorSpace = ioJPEG_GRAYLEV;
        FParams.SamplesPerPixel = 1;
        break;
      case JCS_RGB:
        FInfo.out_color_space = JCS_EXT_BGR;
        FParams.JpegColorSpace = ioJPEG_RGB;
        FParams.SamplesPerPixel = 3;
        break;
      case JCS_YCbCr:
        FInfo.out_color_space = JCS_EXT_BGR;
        FParams.JpegColorSpace = ioJPEG_YCbCr;
        FParams.SamplesPerPixel = 3;
        break;
      case JCS_CMYK:
        FInfo.out_color_space = JCS_CMYK;
        FParams.JpegColorSpace = ioJPEG_CMYK;
        FParams.SamplesPerPixel = 4;
        break;
      case JCS_YCCK:
        FInfo.out_color_space = JCS_CMYK;
        FParams.JpegColorSpace = ioJPEG_YCbCrK;
        FParams.SamplesPerPixel = 4;
        break;
      default:
        break;
    }
    if (FRequest.ReplicateChroma) FInfo.do_fancy_upsampling = FALSE;
    FStoredSamples = FRequest.NoColorConversion && (FSpace == JCS_YCbCr || FSpace == JCS_RGB);
    if (FRequest.NoColorConversion && FSpace != JCS_UNKNOWN) FInfo.out_color_space = FSpace;
  }

  // DCT method, resolution, size and coding facts, and the scale of decoding
  // after the reduce mode.
  void ReadHeaderFacts() {
    if (FParams.JpegDctMethod == ioJPEG_ISLOW) FInfo.dct_method = JDCT_ISLOW;
    else if (FParams.JpegDctMethod == ioJPEG_IFAST) FInfo.dct_method = JDCT_IFAST;
    else if (FParams.JpegDctMethod == ioJPEG_FLOAT) FInfo.dct_method = JDCT_FLOAT;
    // Resolution from the JFIF density (units: none or inch, centimetre).
    if (FInfo.density_unit == 0 || FInfo.density_unit == 1) {
      FParams.SetDpiX(FInfo.X_density);
      FParams.SetDpiY(FInfo.Y_density);
    } else if (FInfo.density_unit == 2) {
      FParams.SetDpiX(int32_t(FInfo.X_density * 2.54));
      FParams.SetDpiY(int32_t(FInfo.Y_density * 2.54));
    }
    FParams.FreeColorMap();
    FParams.JpegProgressive = FInfo.progressive_mode != 0;
    FParams.StoredWidth = int32_t(FInfo.image_width);
    FParams.StoredHeight = int32_t(FInfo.image_height);
    int denom = 0;
    switch (FParams.JpegReduceMode) {
      case ioJPEG_AUTOCALC:
        // The smallest scale that still covers the size asked for.
        denom = 1;
        if (FParams.Width > 0 && FParams.Height > 0)
          for (int n = 3; n >= 0; --n)
            if (int64_t(FInfo.image_width >> n) >= FParams.Width &&
                int64_t(FInfo.image_height >> n) >= FParams.Height) {
              denom = 1 << n;
              break;
            }
        break;
      case ioJPEG_FULLSIZE: denom = 1; break;
      case ioJPEG_HALF: denom = 2; break;
      case ioJPEG_QUARTER: denom = 4; break;
      case ioJPEG_EIGHTH: denom = 8; break;
      default: break;
    }
    FInfo.scale_num = 1;
    if (denom) FInfo.scale_denom = unsigned(denom);
    FParams.JpegScaleDenominator = int32_t(FInfo.scale_denom);
  }

  // Output size, the bitmap in its pixel format, the row path, and the
  // decompressor started.  False stops the read.
  bool PrepareOutput() {
    if (!GCalcOutput(&FInfo)) {
      FFailed = true;
      return false;
    }
    // A header that announces far more pixels than its data could ever code
    // is refused before anything is allocated for it.
    const int64_t pixels = int64_t(FInfo.output_width) * FInfo.output_height;
    if (pixels > (int64_t(1) << 24) && pixels / 4096 > FDataLeft) {
      Fail();
      return false;
    }
    // The bitmap gets its size before decoding starts, so that a file
    // damaged in a later scan still leaves an image of the right size.
    FWidth = int32_t(FInfo.output_width);
    FHeight = int32_t(FInfo.output_height);
    FParams.Width = FWidth;
    FParams.Height = FHeight;
    FRowBuffer.assign(size_t(FWidth) * size_t(std::max(4, FInfo.output_components)), 0);
    TIEPixelFormat fmt = ie24RGB;
    if (FRequest.NativePixelFormat) {
      switch (FInfo.out_color_space) {
        case JCS_GRAYSCALE: fmt = ie8g; break;
        case JCS_CMYK: fmt = ieCMYK; break;
        case JCS_UNKNOWN: fmt = ieNoFormat; break;
        default: fmt = ie24RGB; break;
      }
    }
    if (fmt == ieNoFormat) return false;
    if (!FBitmap->Allocate(FWidth, FHeight, fmt)) {
      Fail();
      return false;
    }
    FPath = ChooseRowPath(fmt);
    if (!GStartDecompress(&FInfo)) {
      FFailed = true;
      return false;
    }
    return true;
  }

  TJpegRowPath ChooseRowPath(TIEPixelFormat Format) const {
    const J_COLOR_SPACE out = FInfo.out_color_space;
    if (out == JCS_GRAYSCALE) return Format == ie8g ? TJpegRowPath::Direct : TJpegRowPath::GrayToBgr;
    if (FStoredSamples) return FSpace == JCS_RGB ? TJpegRowPath::DirectSwapRB : TJpegRowPath::Direct;
    if (out == JCS_CMYK) return Format == ieCMYK ? TJpegRowPath::Direct : TJpegRowPath::CmykToBgr;
    if (out == JCS_EXT_BGR) return FUseIcc ? TJpegRowPath::BgrThroughIcc : TJpegRowPath::Direct;
    return TJpegRowPath::Discard;
  }

  static bool DecodesInPlace(TJpegRowPath Path) {
    return Path == TJpegRowPath::Direct || Path == TJpegRowPath::DirectSwapRB;
  }

  // Moves one decoded row from the row buffer (or in place) into Row.
  void WriteRow(uint8_t* Row) {
    switch (FPath) {
      case TJpegRowPath::Direct:
      case TJpegRowPath::Discard:
        break;
      case TJpegRowPath::DirectSwapRB:
        SwapRB(Row, FWidth);
        break;
      case TJpegRowPath::GrayToBgr:
        for (int32_t x = 0; x < FWidth; ++x) std::memset(Row + 3 * x, FRowBuffer[size_t(x)], 3);
        break;
      case TJpegRowPath::CmykToBgr:
        if (FRequest.InvertCmyk)
          for (size_t i = 0; i < size_t(FWidth) * 4; ++i) FRowBuffer[i] = uint8_t(255 - FRowBuffer[i]);
        IEColorConvertRow(FRowBuffer.data(), ieiccCMYKInv, Row, ieiccBGR, FWidth, &FParams);
        break;
      case TJpegRowPath::BgrThroughIcc:
        IEColorConvertRow(FRowBuffer.data(), ieiccBGR, Row, ieiccBGR, FWidth, &FParams);
        break;
    }
  }

  // The scanline source: one row at a time from the decoder into the bitmap,
  // with progress and the row limit.
  void ReadRows() {
    if (FMaxRows < 0) FMaxRows = FHeight;
    const double step = FHeight > 0 ? 100.0 / FHeight : 0;
    FProgress.val = 0;
    const bool inPlace = DecodesInPlace(FPath);
    while (int32_t(FInfo.output_scanline) < FHeight && FRowsRead < FMaxRows) {
      uint8_t* row = FBitmap->GetScanline(FRowsRead);
      uint32_t got = 0;
      const bool ok = GReadScanline(&FInfo, inPlace ? row : FRowBuffer.data(), got);
      // A colour conversion is not started once the read is being abandoned.
      if (FPath == TJpegRowPath::CmykToBgr && *FAborting) break;
      if (!ok) {
        Fail();
        break;
      }
      if (got == 0) break;
      WriteRow(row);
      FRowsRead += int32_t(got);
      FProgress.val += int32_t(got);
      ReportRow(FProgress, FProgress.val, step);
      if (*FAborting) break;
    }
    if (FRowsRead < FMaxRows) *FAborting = true;
    // Data that ran out before the decoder finished: the rows exist (filled
    // by the codec) but the file is damaged.
    if (FSrc->Exhausted) *FAborting = true;
  }

  // Every kept marker but the first APP0 (JFIF, written afresh on saving);
  // the APP2 profile chunks go once their profile has been applied.
  void KeepMarkers() {
    if (!FParams.JpegMarkers) return;
    TIEMarkerList* ml = FParams.JpegMarkers.get();
    ml->Clear();
    bool firstApp0 = true;
    for (jpeg_saved_marker_ptr m = FInfo.marker_list; m; m = m->next) {
      if (m->marker == JPEG_APP0 && firstApp0) {
        firstApp0 = false;
        continue;
      }
      ml->AddMarker(uint8_t(m->marker), m->data, uint16_t(std::min<unsigned>(m->data_length, 0xFFFF)));
    }
    if (FRequest.ApplyIcc && FUseIcc && FParams.InputIccProfile->HasTransform()) {
      FParams.InputIccProfile->FreeTransform();
      for (int32_t i = ml->GetCount() - 1; i >= 0; --i)
        if (ml->GetMarkerType(i) == IEJPEG_APP2) ml->DeleteMarker(i);
    }
  }

  // IPTC, EXIF (with its resolution and orientation) and XMP from the markers.
  void ReadMarkerMetadata() {
    TIEMarkerList* ml = FParams.JpegMarkers.get();
    if (FParams.IptcRecords)
      for (int32_t i = 0; i < ml->GetCount(); ++i)
        if (ml->GetMarkerType(i) == IEJPEG_APP13 &&
            FParams.IptcRecords->LoadFromBuffer(ml->GetMarkerData(i), ml->GetMarkerLength(i)))
          break;
    for (int32_t i = 0; i < ml->GetCount(); ++i)
      if (ml->GetMarkerType(i) == IEJPEG_APP1 &&
          IEDecodeExifBlock(ml->GetMarkerData(i), ml->GetMarkerLength(i), &FParams)) {
        if (FParams.DpiX == 1 && FParams.DpiY == 1) {
          const double f = FParams.ExifResolutionUnit == 3 ? 2.54 : 1.0;
          FParams.SetDpiX(int32_t(FParams.ExifXResolution * f));
          FParams.SetDpiY(int32_t(FParams.ExifYResolution * f));
        } else {
          FParams.SetDpiX(FParams.DpiX);
          FParams.SetDpiY(FParams.DpiY);
        }
        if (FParams.JpegApplyOrientation && !FRequest.ParamsOnly) {
          IEApplyEXIFOrientation(FBitmap, FParams.ExifOrientation);
          FParams.SetOrientation(1);
        }
        break;
      }
    for (int32_t i = 0; i < ml->GetCount(); ++i)
      if (ml->GetMarkerType(i) == IEJPEG_APP1 &&
          IEFindXMPPacket(ml->GetMarkerData(i), ml->GetMarkerLength(i))) {
        IEReadXMPSegment(ml->GetMarkerData(i), ml->GetMarkerLength(i), FParams.XmpPacket);
        break;
      }
  }

  TStream* FStream;
  TIEBitmap* FBitmap;
  TIOParamsVals& FParams;
  TIEProgressRec& FProgress;
  const TJpegReadRequest& FRequest;
  std::atomic<bool>* FAborting;
  int32_t FMaxRows;

  TJpegError FErr;
  jpeg_decompress_struct FInfo;
  bool FCreated = false;
  std::unique_ptr<TJpegSource> FSrc;
  int64_t FDataLeft = 0;
  bool FUseIcc = false;
  J_COLOR_SPACE FSpace = JCS_UNKNOWN;
  bool FStoredSamples = false;  // YCbCr or RGB samples handed over unconverted
  TJpegRowPath FPath = TJpegRowPath::Discard;
  int32_t FWidth = 0;
  int32_t FHeight = 0;
  std::vector<uint8_t> FRowBuffer;
  int32_t FRowsRead = 0;
  bool FFailed = false;
};

// Reads the EXIF thumbnail into Bitmap instead of the image when asked for
// and present (true); otherwise leaves the stream where the JPEG starts and
// the size asked for in Params (false).
bool ReadExifThumbnailInstead(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                              const TJpegReadRequest& Request) {
  if (Params.ExifThumbnail) Params.ExifThumbnail->FreeImage(true);
  Params.SetLoadExifThumbnail(false);
  const int32_t w = Params.Width, h = Params.Height;
  const int64_t start = Stream->GetPosition();
  JpegReadStream(Stream, Bitmap, Params, Progress,
                 {.TablesStream = Request.TablesStream,
                  .ParamsOnly = true,
                  .NoColorConversion = Request.NoColorConversion,
                  .ReadMetadata = true,
                  .InvertCmyk = Request.InvertCmyk,
                  .ApplyIcc = Request.ApplyIcc,
                  .NativePixelFormat = Params.NativePixelFormat});
  // Back to where this JPEG starts (it may sit inside a larger stream).
  Stream->SetPosition(start);
  Params.SetLoadExifThumbnail(true);
  if (Params.ExifThumbnail && !Params.ExifThumbnail->IsEmpty()) {
    Bitmap->Assign(Params.ExifThumbnail.get());
    return true;
  }
  Params.Width = w;
  Params.Height = h;
  Params.StoredWidth = w;
  Params.StoredHeight = h;
  return false;
}

}  // namespace

int32_t JpegReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                       const TJpegReadRequest& Request) {
  std::atomic<bool> localAbort{false};
  std::atomic<bool>* aborting = Progress.Aborting ? Progress.Aborting : &localAbort;
  if (Params.JpegLoadExifThumbnail && ReadExifThumbnailInstead(Stream, Bitmap, Params, Progress, Request)) return 0;
  // Warnings start afresh for this image.
  Params.JpegWarningCount = 0;
  Params.JpegLastWarningCode = 0;
  TJpegReader reader(Stream, Bitmap, Params, Progress, Request, aborting);
  if (!reader.Open()) return 0;
  reader.Decode();
  return reader.Close();
}

// ---------------------------------------------------------------------------

void JpegWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                     TIEProgressRec& Progress, bool InkCmyk) {
  std::atomic<bool> localAbort{false};
  std::atomic<bool>* aborting = Progress.Aborting ? Progress.Aborting : &localAbort;
  // The rows to write: the bitmap itself or a 24-bit copy.
  std::unique_ptr<TIEBitmap> temp;
  TIEBitmap* bmp = Bitmap;
  if (bmp->GetWidth() == 0 || bmp->GetHeight() == 0) {
    *aborting = true;
    return;
  }
  if (bmp->GetPixelFormat() != ie24RGB) {
    temp = TIEBitmap::CreateSized(bmp->GetWidth(), bmp->GetHeight(), ie24RGB);
    temp->ConvertFrom(bmp);
    bmp = temp.get();
    if (bmp->IsEmpty()) {
      *aborting = true;
      return;
    }
  }
  const int32_t width = bmp->GetWidth(), height = bmp->GetHeight();
  // The compressor, with our error manager and destination manager.
  TJpegError err;
  InitError(err, aborting);
  jpeg_compress_struct info;
  std::memset(&info, 0, sizeof(info));
  info.err = &err.pub;
  if (!GCreateCompress(&info)) throw EIEJpegException(err.Text);
  auto dest = std::make_unique<TJpegDest>();
  dest->Stream = Stream;
  dest->Aborting = aborting;
  dest->pub.init_destination = DestInit;
  dest->pub.empty_output_buffer = DestEmpty;
  dest->pub.term_destination = DestTerm;
  info.dest = &dest->pub;

  std::vector<uint8_t> scratch;
  bool ok = true;
  bool cmyk = false;
  // Size and colour space of the image.
  info.image_width = JDIMENSION(width);
  info.image_height = JDIMENSION(height);
  info.input_components = 3;
  info.in_color_space = JCS_EXT_BGR;
  TCompressSetup s{};
  switch (Params.JpegColorSpace) {
    case ioJPEG_GRAYLEV: s.JpegSpace = JCS_GRAYSCALE; break;
    case ioJPEG_YCbCr: s.JpegSpace = JCS_YCbCr; break;
    case ioJPEG_CMYK: s.JpegSpace = JCS_CMYK; cmyk = true; break;
    case ioJPEG_YCbCrK: s.JpegSpace = JCS_YCCK; cmyk = true; break;
    default: s.JpegSpace = JCS_RGB; break;
  }
  if (cmyk) {
    info.in_color_space = JCS_CMYK;
    info.input_components = 4;
  }
  // The density fields, from the resolution.
  auto density = [](int32_t Dpi, int32_t Default) {
    const int32_t v = Dpi != 0 ? Dpi : Default;
    return uint16_t(v < 1 ? 1 : (v > 0xFFFF ? 0xFFFF : v));
  };
  s.DensityX = density(Params.DpiX, IEDefaultDpiX);
  s.DensityY = density(Params.DpiY, IEDefaultDpiY);
  // DCT method, optimisation, smoothing, quality, subsampling, progression.
  s.SetDct = Params.JpegDctMethod <= ioJPEG_FLOAT;
  s.Dct = Params.JpegDctMethod == ioJPEG_IFAST ? JDCT_IFAST
          : Params.JpegDctMethod == ioJPEG_FLOAT ? JDCT_FLOAT
                                                 : JDCT_ISLOW;
  s.Optimize = Params.JpegOptimizeCoding;
  s.Smoothing = std::max(0, std::min(100, Params.JpegSmoothingFactor));
  s.Quality = Params.JpegQuality;
  s.Subsampling = s.JpegSpace == JCS_YCbCr && Params.JpegChromaSubsampling <= 2
                      ? Params.JpegChromaSubsampling
                      : -1;
  s.WriteJfif = s.JpegSpace == JCS_CMYK;
  s.Progressive = Params.JpegProgressive;
  ok = GSetupCompress(&info, &s);
  // Start, then the markers of the parameter set.
  if (ok && !*aborting) ok = GStartCompress(&info);
  if (ok && !*aborting && Params.JpegMarkers) {
    TIEMarkerList* ml = Params.JpegMarkers.get();
    ml->SortMarkers();
    for (int32_t i = 0; ok && i < ml->GetCount(); ++i) {
      if (ml->GetMarkerType(i) == IEJPEG_APP14) continue;
      ok = GWriteMarker(&info, ml->GetMarkerType(i), ml->GetMarkerData(i),
                        unsigned(ml->GetMarkerLength(i)));
    }
  }
  // The rows, with progress.
  if (ok && !*aborting) {
    const double step = 100.0 / height;
    if (cmyk) scratch.assign(size_t(width) * 4, 0);
    for (int32_t y = 0; ok && y < height; ++y) {
      uint8_t* row = bmp->GetScanline(y);
      if (cmyk) {
        IEColorConvertRow(row, ieiccBGR, scratch.data(), ieiccCMYKInv, width, nullptr);
        if (InkCmyk)
          for (uint8_t& v : scratch) v = uint8_t(255 - v);
        row = scratch.data();
      }
      ok = GWriteScanline(&info, row);
      ReportRow(Progress, y + 1, step);
      if (*aborting) break;
    }
  }
  // Finish; a codec error becomes an exception after the C frames are left.
  if (ok && !*aborting) ok = GFinishCompress(&info);
  jpeg_destroy_compress(&info);
  dest.reset();
  if (!ok) throw EIEJpegException(err.Text);
}
