#include "platform/devices/video_reader.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}


namespace {

// The largest frame accepted: side and area keep one decoded frame and its
// 24-bit copy within what a desktop can hold.
constexpr int32_t kMaxSide = 32768;
constexpr int64_t kMaxPixels = int64_t(1) << 27;
// Frames decoded forward from the current one before seeking pays off.
constexpr int64_t kForwardLimit = 32;
constexpr uint64_t k100nsPerSecond = 10000000;

void SilenceLog() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

// N / D rounded to nearest with halves to even, clamped to the Int64 range.
int64_t DivRound(unsigned __int128 N, unsigned __int128 D) {
  if (D == 0) return 0;
  unsigned __int128 q = N / D;
  const unsigned __int128 r = N % D;
  if (2 * r > D || (2 * r == D && (q & 1))) ++q;
  const auto top = static_cast<unsigned __int128>(std::numeric_limits<int64_t>::max());
  return q > top ? std::numeric_limits<int64_t>::max() : static_cast<int64_t>(q);
}

// Rate, scale and length of the first 'vids' stream header of an AVI file,
// read as written: FFmpeg replaces a zero rate by a guess, and callers want
// to see what the file says.
struct TAviVideoHeader {
  bool Found = false;
  uint32_t Scale = 0;
  uint32_t Rate = 0;
  uint32_t Length = 0;
};

uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

TAviVideoHeader ReadAviVideoHeader(const std::string& FileName) {
  TAviVideoHeader h;
  FILE* f = std::fopen(FileName.c_str(), "rb");
  if (!f) return h;
  struct TCloser {
    FILE* F;
    ~TCloser() { std::fclose(F); }
  } closer{f};
  if (fseeko(f, 0, SEEK_END) != 0) return h;
  const int64_t fileSize = ftello(f);
  uint8_t b[36];
  if (fseeko(f, 0, SEEK_SET) != 0 || std::fread(b, 1, 12, f) != 12) return h;
  if (std::memcmp(b, "RIFF", 4) != 0 || std::memcmp(b + 8, "AVI ", 4) != 0) return h;
  const int64_t end = std::min<int64_t>(fileSize, 8 + int64_t(Le32(b + 4)));
  int64_t pos = 12;
  // The header lists hdrl and strl are walked into; everything else is
  // skipped, and the walk ends at the movie data.
  for (int guard = 0; guard < 4096 && pos + 8 <= end; ++guard) {
    if (fseeko(f, pos, SEEK_SET) != 0 || std::fread(b, 1, 8, f) != 8) return h;
    const int64_t size = Le32(b + 4);
    if (std::memcmp(b, "LIST", 4) == 0) {
      if (std::fread(b + 8, 1, 4, f) != 4) return h;
      if (std::memcmp(b + 8, "hdrl", 4) == 0 || std::memcmp(b + 8, "strl", 4) == 0) {
        pos += 12;
        continue;
      }
      if (std::memcmp(b + 8, "movi", 4) == 0) return h;
    } else if (std::memcmp(b, "strh", 4) == 0 && size >= 36) {
      if (std::fread(b, 1, 36, f) != 36) return h;
      if (std::memcmp(b, "vids", 4) == 0) {
        h.Found = true;
        h.Scale = Le32(b + 20);
        h.Rate = Le32(b + 24);
        h.Length = Le32(b + 32);
        return h;
      }
    }
    pos += 8 + size + (size & 1);
  }
  return h;
}

struct TAvBufferFree {
  void operator()(uint8_t* p) const { av_free(p); }
};

}  // namespace

struct TVideoReader::TImpl {
  std::string FileName;
  AVFormatContext* Fmt = nullptr;
  AVCodecContext* Dec = nullptr;
  AVPacket* Pkt = nullptr;
  AVFrame* Frame = nullptr;  // the frame numbered CurIndex
  AVFrame* Work = nullptr;   // the frame being decoded, or the one numbered PendingIndex
  SwsContext* Sws = nullptr;
  int StreamIndex = -1;
  AVRational TimeBase{0, 1};
  AVRational FrameRate{0, 1};  // {0, 1} when the container gives none
  int64_t StartTime = 0;
  bool DrainSent = false;  // the demuxer ran out and the decoder is draining
  int64_t CurIndex = -1;   // -1: no frame, or its number is not known
  // A frame decoded past a gap in the numbering (a dropped frame): Work holds
  // it, and Frame stands for every number from CurIndex up to it.
  int64_t PendingIndex = -1;
  bool Counting = true;    // frames without time stamps are numbered by counting
  bool Fresh = true;       // at the start of the stream, nothing decoded yet

  bool IsAvi = false;
  int64_t FrameCount = 0;
  uint32_t Rate = 0;
  uint32_t Scale = 0;
  int32_t Width = 0;
  int32_t Height = 0;
  int64_t Duration = 0;
  int64_t AvgTime = 0;

  ~TImpl() { Close(); }

  void Close() {
    sws_freeContext(Sws);
    Sws = nullptr;
    av_frame_free(&Frame);
    av_frame_free(&Work);
    av_packet_free(&Pkt);
    avcodec_free_context(&Dec);
    avformat_close_input(&Fmt);
    StreamIndex = -1;
    CurIndex = -1;
    PendingIndex = -1;
    Counting = true;
    Fresh = true;
    DrainSent = false;
  }

  bool OpenStreams() {
    Close();
    AVDictionary* opts = nullptr;
    av_dict_set(&opts, "protocol_whitelist", "file", 0);
    // The "file:" prefix keeps a colon in the name from choosing a protocol.
    const std::string url = "file:" + FileName;
    const int r = avformat_open_input(&Fmt, url.c_str(), nullptr, &opts);
    av_dict_free(&opts);
    if (r < 0) return false;
    if (avformat_find_stream_info(Fmt, nullptr) < 0) return false;
    for (unsigned i = 0; i < Fmt->nb_streams; ++i) {
      const AVStream* st = Fmt->streams[i];
      if (st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
          !(st->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
        StreamIndex = int(i);
        break;
      }
    }
    if (StreamIndex < 0) return false;
    const AVStream* st = Fmt->streams[StreamIndex];
    const AVCodecParameters* par = st->codecpar;
    if (par->width <= 0 || par->height <= 0 || par->width > kMaxSide || par->height > kMaxSide ||
        int64_t(par->width) * par->height > kMaxPixels)
      return false;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (!codec) return false;
    Dec = avcodec_alloc_context3(codec);
    if (!Dec || avcodec_parameters_to_context(Dec, par) < 0) return false;
    Dec->thread_count = 0;
    if (avcodec_open2(Dec, codec, nullptr) < 0) return false;
    Pkt = av_packet_alloc();
    Frame = av_frame_alloc();
    Work = av_frame_alloc();
    if (!Pkt || !Frame || !Work) return false;
    IsAvi = std::strcmp(Fmt->iformat->name, "avi") == 0;
    TimeBase = st->time_base;
    StartTime = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    // The base rate is exact for constant-rate video, while the average may
    // come from a duration that leaves a frame or an edit out; the average
    // wins when the two differ widely (a base rate counting fields, or
    // variable-rate video).
    const AVRational avg = st->avg_frame_rate, base = st->r_frame_rate;
    const bool avgOk = avg.num > 0 && avg.den > 0, baseOk = base.num > 0 && base.den > 0;
    if (baseOk && (!avgOk || std::abs(av_q2d(base) / av_q2d(avg) - 1) < 0.1))
      FrameRate = base;
    else if (avgOk)
      FrameRate = avg;
    else
      FrameRate = AVRational{0, 1};
    Width = par->width;
    Height = par->height;
    return true;
  }

  // Packets of the video stream, read once from the start; the streams are
  // opened again afterwards.
  int64_t CountPackets() {
    int64_t n = 0;
    while (av_read_frame(Fmt, Pkt) >= 0) {
      if (Pkt->stream_index == StreamIndex) ++n;
      av_packet_unref(Pkt);
    }
    if (OpenStreams()) return n;
    Close();
    return 0;
  }

  bool ReadFacts() {
    const AVStream* st = Fmt->streams[StreamIndex];
    FrameCount = st->nb_frames > 0 ? st->nb_frames : 0;
    // Every frame takes at least a byte of the file: a damaged header that
    // claims more is not believed, and the packets are counted instead.
    const int64_t fileSize = Fmt->pb ? avio_size(Fmt->pb) : -1;
    if (fileSize > 0 && FrameCount > fileSize) FrameCount = 0;
    if (FrameCount == 0) {
      FrameCount = CountPackets();  // opens the file again
      if (FrameCount <= 0) return false;
      st = Fmt->streams[StreamIndex];
    }
    if (IsAvi) {
      const TAviVideoHeader h = ReadAviVideoHeader(FileName);
      if (h.Found) {
        Rate = h.Rate;
        Scale = h.Scale;
      }
    } else if (FrameRate.num > 0) {
      Rate = uint32_t(FrameRate.num);
      Scale = uint32_t(FrameRate.den);
    }
    if (Rate != 0 && Scale != 0) {
      AvgTime = DivRound(static_cast<unsigned __int128>(Scale) * k100nsPerSecond, Rate);
      Duration = DivRound(static_cast<unsigned __int128>(FrameCount) * Scale * k100nsPerSecond, Rate);
    } else if (!IsAvi) {
      if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
        Duration = av_rescale_q(st->duration, st->time_base, AVRational{1, int(k100nsPerSecond)});
      else if (Fmt->duration != AV_NOPTS_VALUE && Fmt->duration > 0)
        Duration = av_rescale(Fmt->duration, int64_t(k100nsPerSecond), AV_TIME_BASE);
      if (Duration > 0 && FrameCount > 0) AvgTime = DivRound(uint64_t(Duration), uint64_t(FrameCount));
    }
    return FrameCount > 0;
  }

  // Next decoded frame into Work: 1 got one, 0 end of stream, -1 decoder error.
  int DecodeNext() {
    for (;;) {
      int r = avcodec_receive_frame(Dec, Work);
      if (r == 0) return 1;
      if (r == AVERROR_EOF) return 0;
      if (r != AVERROR(EAGAIN)) return -1;
      if (DrainSent) return 0;
      r = av_read_frame(Fmt, Pkt);
      if (r < 0) {
        DrainSent = true;
        if (avcodec_send_packet(Dec, nullptr) < 0) return 0;
        continue;
      }
      if (Pkt->stream_index == StreamIndex) {
        // A packet the decoder refuses is skipped; its frame stays missing,
        // which the caller sees as a gap in the numbering.
        (void)avcodec_send_packet(Dec, Pkt);
      }
      av_packet_unref(Pkt);
    }
  }

  // Number of the frame in Work, or -1 when it cannot be known.  A frame's
  // own time stamp numbers it, except in AVI, which stores none (FFmpeg fills
  // in guesses that go wrong when the codec reorders frames).  Otherwise the
  // packet's decoding stamp numbers it when the codec does not reorder
  // frames (it then counts dropped frames too), else frames are counted from
  // the start; after a seek into such a stream the number is unknown and the
  // caller counts from the start instead.
  int64_t NumberOfWork() const {
    const auto toIndex = [this](int64_t ts) {
      return av_rescale_q_rnd(ts - StartTime, TimeBase, av_inv_q(FrameRate),
                              AVRounding(AV_ROUND_NEAR_INF | AV_ROUND_PASS_MINMAX));
    };
    const bool timed = FrameRate.num > 0 && TimeBase.num > 0;
    if (timed && !IsAvi && Work->pts != AV_NOPTS_VALUE) return toIndex(Work->pts);
    if (timed && Dec->has_b_frames == 0 && Work->pkt_dts != AV_NOPTS_VALUE) return toIndex(Work->pkt_dts);
    if (Counting) return CurIndex + 1;
    return -1;
  }

  // Whether Frame shows frame Index.
  bool Covers(int64_t Index) const {
    return CurIndex >= 0 && (Index == CurIndex || (Index > CurIndex && Index < PendingIndex));
  }

  // Decodes forward until Frame shows frame Index.  A number the stream
  // skips (a dropped frame) shows the frame before it, as a player would.
  bool DecodeForward(int64_t Index) {
    Fresh = false;
    for (;;) {
      int64_t n = PendingIndex;
      PendingIndex = -1;
      if (n < 0) {
        if (DecodeNext() != 1) return false;
        n = NumberOfWork();
        if (n < 0) {
          av_frame_unref(Work);
          return false;
        }
      }
      if (n > Index && CurIndex >= 0 && CurIndex < Index) {
        PendingIndex = n;
        return true;
      }
      av_frame_unref(Frame);
      av_frame_move_ref(Frame, Work);
      CurIndex = n;
      if (n == Index) return true;
      if (n > Index) return false;
    }
  }

  void ResetDecoder(bool FromStart) {
    avcodec_flush_buffers(Dec);
    av_frame_unref(Frame);
    av_frame_unref(Work);
    DrainSent = false;
    CurIndex = -1;
    PendingIndex = -1;
    Counting = FromStart;
    Fresh = FromStart;
  }

  bool SeekNear(int64_t Index) {
    if (FrameRate.num <= 0 || TimeBase.num <= 0) return false;
    const int64_t ts = StartTime + av_rescale_q(Index, av_inv_q(FrameRate), TimeBase);
    if (av_seek_frame(Fmt, StreamIndex, ts, AVSEEK_FLAG_BACKWARD) < 0) return false;
    ResetDecoder(false);
    return true;
  }

  bool Rewind() {
    if (av_seek_frame(Fmt, StreamIndex, StartTime, AVSEEK_FLAG_BACKWARD) >= 0) {
      ResetDecoder(true);
      return true;
    }
    if (OpenStreams()) return true;
    Close();  // the file went away: no more frames
    return false;
  }

  bool Fetch(int64_t Index) {
    if (Covers(Index)) return true;
    if (Fresh && Index <= kForwardLimit && DecodeForward(Index)) return true;
    if (CurIndex >= 0 && Index > CurIndex && Index - CurIndex <= kForwardLimit && DecodeForward(Index))
      return true;
    if (Index > 0 && SeekNear(Index) && DecodeForward(Index)) return true;
    // Time stamps that do not lead to the frame: count from the start.
    return Fmt && Rewind() && DecodeForward(Index);
  }

  bool Convert(TVideoFrame* Out) {
    const int w = Frame->width, h = Frame->height;
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide || int64_t(w) * h > kMaxPixels) return false;
    const auto src = AVPixelFormat(Frame->format);
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(src);
    if (!desc) return false;
    Sws = sws_getCachedContext(Sws, w, h, src, w, h, AV_PIX_FMT_BGR24,
                               SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr,
                               nullptr, nullptr);
    if (!Sws) return false;
    if (!(desc->flags & AV_PIX_FMT_FLAG_RGB) && desc->nb_components >= 3) {
      // Colour matrix and range of the source as the stream describes them.
      int cs = SWS_CS_DEFAULT;
      if (Frame->colorspace == AVCOL_SPC_BT709) cs = SWS_CS_ITU709;
      else if (Frame->colorspace == AVCOL_SPC_BT2020_NCL || Frame->colorspace == AVCOL_SPC_BT2020_CL)
        cs = SWS_CS_BT2020;
      else if (Frame->colorspace == AVCOL_SPC_UNSPECIFIED && h >= 720)
        cs = SWS_CS_ITU709;
      const int srcRange = Frame->color_range == AVCOL_RANGE_JPEG ? 1 : 0;
      int* invTable = nullptr;
      int* table = nullptr;
      int curSrcRange = 0, dstRange = 0, brightness = 0, contrast = 0, saturation = 0;
      if (sws_getColorspaceDetails(Sws, &invTable, &curSrcRange, &table, &dstRange, &brightness,
                                   &contrast, &saturation) >= 0)
        sws_setColorspaceDetails(Sws, sws_getCoefficients(cs), srcRange || curSrcRange,
                                 sws_getCoefficients(SWS_CS_DEFAULT), dstRange, brightness,
                                 contrast, saturation);
    }
    const int stride = (w * 3 + 63) & ~63;
    std::unique_ptr<uint8_t, TAvBufferFree> buf(
        static_cast<uint8_t*>(av_malloc(size_t(stride) * size_t(h))));
    if (!buf) return false;
    uint8_t* dst[4] = {buf.get(), nullptr, nullptr, nullptr};
    const int dstStride[4] = {stride, 0, 0, 0};
    if (sws_scale(Sws, Frame->data, Frame->linesize, 0, h, dst, dstStride) != h) return false;
    std::vector<uint8_t> pixels;
    try {
      pixels.resize(size_t(w) * size_t(h) * 3);
    } catch (const std::bad_alloc&) {
      return false;
    }
    for (int y = 0; y < h; ++y)
      std::memcpy(pixels.data() + size_t(y) * size_t(w) * 3, buf.get() + size_t(y) * stride, size_t(w) * 3);
    Out->Width = w;
    Out->Height = h;
    Out->Pixels = std::move(pixels);
    return true;
  }
};

TVideoReader::TVideoReader(std::unique_ptr<TImpl> Impl) : F(std::move(Impl)) {}

TVideoReader::~TVideoReader() = default;

std::unique_ptr<TVideoReader> TVideoReader::Open(const std::string& FileName) {
  SilenceLog();
  auto impl = std::make_unique<TImpl>();
  impl->FileName = FileName;
  if (!impl->OpenStreams() || !impl->ReadFacts()) return nullptr;
  return std::unique_ptr<TVideoReader>(new TVideoReader(std::move(impl)));
}

int64_t TVideoReader::GetFrameCount() const { return F->FrameCount; }
uint32_t TVideoReader::GetRate() const { return F->Rate; }
uint32_t TVideoReader::GetScale() const { return F->Scale; }
int32_t TVideoReader::GetWidth() const { return F->Width; }
int32_t TVideoReader::GetHeight() const { return F->Height; }
int32_t TVideoReader::GetBitCount() const { return 24; }
int64_t TVideoReader::GetDuration100ns() const { return F->Duration; }
int64_t TVideoReader::GetAverageTimePerFrame100ns() const { return F->AvgTime; }

bool TVideoReader::GetFrame(int64_t Index, TVideoFrame* Frame) {
  if (!Frame || Index < 0 || Index >= F->FrameCount || !F->Fmt) return false;
  if (!F->Fetch(Index)) return false;
  return F->Convert(Frame);
}
