// Video frames by index from hand-made AVI and YUV4MPEG2 files: content,
// orientation and numbering of every frame, the stream facts, and damaged
// files that must fail cleanly.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "platform/devices/video_reader.h"
#include "support/avi_writer.h"
#include "support/test_support.h"

using namespace testsupport;

namespace {

constexpr int32_t kW = 16, kH = 12, kFrames = 5;

std::string WriteFile(const TempDir& dir, const std::string& name, const std::vector<uint8_t>& data) {
  const std::string path = dir.file(name);
  WriteFileBytes(path, data);
  return path;
}

// Gray frames for the y4m file: frame k is level 20 + 40k with a white
// marker square at x = k, so a wrong frame or a flipped frame shows.
std::vector<std::vector<uint8_t>> GrayFrames() {
  std::vector<std::vector<uint8_t>> frames;
  for (int k = 0; k < kFrames; ++k) {
    std::vector<uint8_t> f(size_t(kW) * kH, uint8_t(20 + 40 * k));
    for (int y = 1; y < 4; ++y)
      for (int x = k; x < k + 3; ++x) f[size_t(y) * kW + x] = 255;
    frames.push_back(f);
  }
  return frames;
}

std::vector<uint8_t> GrayAsBgr(const std::vector<uint8_t>& g) {
  std::vector<uint8_t> out;
  for (uint8_t v : g) out.insert(out.end(), {v, v, v});
  return out;
}

}  // namespace

TEST(VideoReader, AviFramesInAnyOrderArePixelExact) {
  TempDir dir;
  const TVideoFrames v = MakeTestFrames(kW, kH, kFrames);
  for (bool withIndex : {true, false}) {
    SCOPED_TRACE(withIndex ? "with index" : "without index");
    auto r = TVideoReader::Open(WriteFile(dir, "a.avi", MakeAvi(v, 30000, 1001, withIndex)));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetFrameCount(), kFrames);
    EXPECT_EQ(r->GetRate(), 30000u);
    EXPECT_EQ(r->GetScale(), 1001u);
    EXPECT_EQ(r->GetWidth(), kW);
    EXPECT_EQ(r->GetHeight(), kH);
    EXPECT_EQ(r->GetBitCount(), 24);
    EXPECT_EQ(r->GetAverageTimePerFrame100ns(), 333667);  // 333666.67
    EXPECT_EQ(r->GetDuration100ns(), 1668333);            // 5 x 1001 / 30000 s
    // Sequential, repeated, backwards, jumps, first and last.
    for (int k : {0, 1, 2, 3, 4, 4, 0, 3, 1, 2, 4, 0}) {
      SCOPED_TRACE(k);
      TVideoFrame b;
      ASSERT_TRUE(r->GetFrame(k, &b));
      ASSERT_EQ(b.Pixels.size(), size_t(kW) * kH * 3);
      ASSERT_EQ(b.GetWidth(), kW);
      ASSERT_EQ(b.GetHeight(), kH);
      EXPECT_EQ(b.Pixels, v.Pixels[size_t(k)]);
    }
    TVideoFrame untouched{3, 2, std::vector<uint8_t>(18, 7)};
    for (int64_t k : {int64_t(-1), int64_t(kFrames), int64_t(1) << 40}) {
      EXPECT_FALSE(r->GetFrame(k, &untouched));
      EXPECT_EQ(untouched.GetWidth(), 3);
      EXPECT_EQ(untouched.Pixels, std::vector<uint8_t>(18, 7));
    }
    EXPECT_FALSE(r->GetFrame(0, nullptr));
  }
}

// Jumps far enough that the reader seeks instead of decoding forward.
TEST(VideoReader, LongJumpsLandOnTheRightFrame) {
  TempDir dir;
  const TVideoFrames v = MakeTestFrames(44, 4, 40);
  auto r = TVideoReader::Open(WriteFile(dir, "long.avi", MakeAvi(v, 10, 1)));
  ASSERT_NE(r, nullptr);
  ASSERT_EQ(r->GetFrameCount(), 40);
  EXPECT_EQ(r->GetDuration100ns(), 40000000);
  TVideoFrame b;
  for (int k : {39, 0, 38, 3, 37, 36, 1, 20, 39}) {
    SCOPED_TRACE(k);
    ASSERT_TRUE(r->GetFrame(k, &b));
    EXPECT_EQ(b.Pixels, v.Pixels[size_t(k)]);
  }
}

TEST(VideoReader, Y4mFramesCountedAndExact) {
  TempDir dir;
  const auto frames = GrayFrames();
  auto r = TVideoReader::Open(WriteFile(dir, "g.y4m", MakeY4mGray(kW, kH, 25, 2, frames)));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->GetFrameCount(), kFrames);
  EXPECT_EQ(r->GetRate(), 25u);
  EXPECT_EQ(r->GetScale(), 2u);
  EXPECT_EQ(r->GetAverageTimePerFrame100ns(), 800000);
  EXPECT_EQ(r->GetDuration100ns(), 4000000);
  for (int k : {0, 1, 2, 4, 3, 0, 2}) {
    SCOPED_TRACE(k);
    TVideoFrame b;
    ASSERT_TRUE(r->GetFrame(k, &b));
    ASSERT_EQ(b.GetWidth(), kW);
    ASSERT_EQ(b.GetHeight(), kH);
    EXPECT_EQ(b.Pixels, GrayAsBgr(frames[size_t(k)]));
  }
  TVideoFrame b;
  EXPECT_FALSE(r->GetFrame(kFrames, &b));
}

// Dropped frames (zero-length chunks) show the frame before them, however
// they are reached.
TEST(VideoReader, DroppedFramesShowThePreviousFrame) {
  TempDir dir;
  const TVideoFrames v = MakeTestFrames(44, 4, 40);
  TVideoFrames dropped = v;
  for (int k : {2, 3, 30}) dropped.Pixels[size_t(k)].clear();
  auto shown = [](int k) { return k == 2 || k == 3 ? 1 : k == 30 ? 29 : k; };
  for (bool withIndex : {true, false}) {
    SCOPED_TRACE(withIndex ? "with index" : "without index");
    auto r = TVideoReader::Open(WriteFile(dir, "d.avi", MakeAvi(dropped, 25, 1, withIndex)));
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->GetFrameCount(), 40);
    for (int k : {0, 1, 2, 3, 4, 3, 2, 30, 31, 30, 29, 30, 39, 2}) {
      SCOPED_TRACE(k);
      TVideoFrame b;
      ASSERT_TRUE(r->GetFrame(k, &b));
      EXPECT_EQ(b.Pixels, v.Pixels[size_t(shown(k))]);
    }
  }
}

// A stream header without a rate: the reader says so and knows no durations,
// but the frames are still there.
TEST(VideoReader, ZeroRateIsReportedNotGuessed) {
  TempDir dir;
  const TVideoFrames v = MakeTestFrames(kW, kH, kFrames);
  for (auto [rate, scale] : {std::pair<uint32_t, uint32_t>{0, 1}, {25, 0}, {0, 0}}) {
    SCOPED_TRACE(rate);
    SCOPED_TRACE(scale);
    auto r = TVideoReader::Open(WriteFile(dir, "z.avi", MakeAvi(v, rate, scale)));
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetRate(), rate);
    EXPECT_EQ(r->GetScale(), scale);
    EXPECT_EQ(r->GetDuration100ns(), 0);
    EXPECT_EQ(r->GetAverageTimePerFrame100ns(), 0);
    EXPECT_EQ(r->GetFrameCount(), kFrames);
    TVideoFrame b;
    for (int k : {3, 1}) {
      ASSERT_TRUE(r->GetFrame(k, &b));
      EXPECT_EQ(b.Pixels, v.Pixels[size_t(k)]);
    }
  }
}

TEST(VideoReader, UnreadableFilesGiveNoReader) {
  TempDir dir;
  std::mt19937 rng(7);
  std::vector<uint8_t> noise(4000);
  for (auto& c : noise) c = uint8_t(rng());
  const TVideoFrames v = MakeTestFrames(kW, kH, kFrames);
  std::vector<uint8_t> huge = MakeAvi(v, 25, 1);
  std::vector<uint8_t> zero = huge;
  // avih, strh and strf all carry the frame size; make every one absurd or 0.
  auto patchSize = [](std::vector<uint8_t>& d, uint32_t w, uint32_t h) {
    auto put = [&](size_t at, uint32_t x) {
      for (int i = 0; i < 4; ++i) d[at + i] = uint8_t(x >> (8 * i));
    };
    put(64, w);   // avih width, height
    put(68, h);
    put(176, w);  // strf width, height
    put(180, h);
  };
  patchSize(huge, 1000000, 1000000);
  patchSize(zero, 0, 0);
  const std::vector<std::pair<const char*, std::vector<uint8_t>>> cases = {
      {"empty", {}},
      {"noise", noise},
      {"riff only", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'A', 'V', 'I', ' '}},
      {"absurd size", huge},
      {"zero size", zero},
  };
  for (const auto& [name, data] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(TVideoReader::Open(WriteFile(dir, "bad.avi", data)), nullptr);
  }
  EXPECT_EQ(TVideoReader::Open(dir.file("missing.avi")), nullptr);
  EXPECT_EQ(TVideoReader::Open(""), nullptr);
}

// Every cut of a file: either no reader, or each frame it hands out is the
// right one.
TEST(VideoReader, TruncatedAndCorruptedFilesFailCleanly) {
  TempDir dir;
  const TVideoFrames v = MakeTestFrames(kW, kH, kFrames);
  const std::vector<uint8_t> avi = MakeAvi(v, 25, 1);
  const auto y4m = MakeY4mGray(kW, kH, 25, 1, GrayFrames());
  int opened = 0;
  for (const auto* file : {&avi, &y4m}) {
    const bool isAvi = file == &avi;
    for (size_t cut = 0; cut < file->size(); cut += 53) {
      SCOPED_TRACE(cut);
      std::vector<uint8_t> d(file->begin(), file->begin() + long(cut));
      auto r = TVideoReader::Open(WriteFile(dir, isAvi ? "t.avi" : "t.y4m", d));
      if (!r) continue;
      ++opened;
      EXPECT_LE(r->GetFrameCount(), kFrames);
      TVideoFrame b;
      for (int k : {0, 4, 2, 3, 1}) {
        if (!r->GetFrame(k, &b)) continue;
        const auto expected = isAvi ? v.Pixels[size_t(k)] : GrayAsBgr(GrayFrames()[size_t(k)]);
        EXPECT_EQ(b.Pixels, expected) << "frame " << k;
      }
    }
  }
  EXPECT_GT(opened, 0);
  std::mt19937 rng(11);
  for (int round = 0; round < 60; ++round) {
    std::vector<uint8_t> d = avi;
    for (int i = 0; i < 6; ++i) d[rng() % 240] = uint8_t(rng());
    auto r = TVideoReader::Open(WriteFile(dir, "c.avi", d));
    if (!r) continue;
    TVideoFrame b;
    for (int64_t k = 0; k < std::min<int64_t>(r->GetFrameCount(), 8); ++k) (void)r->GetFrame(k, &b);
  }
}

// ---- compressed video with key frames every few frames and reordered frames ----

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

// Frame k of the encoded clips: flat colour red 10k, green 255-10k, blue 40.
constexpr int kClipFrames = 24;

// Writes an MPEG-4 part 2 clip (key frame every 6 frames, 2 B-frames) with
// FFmpeg's encoder and the named muxer; false when this FFmpeg cannot.
bool EncodeClip(const std::string& Path, const char* Muxer, int W, int H) {
  AVFormatContext* oc = nullptr;
  if (avformat_alloc_output_context2(&oc, nullptr, Muxer, Path.c_str()) < 0 || !oc) return false;
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
  AVCodecContext* c = codec ? avcodec_alloc_context3(codec) : nullptr;
  AVStream* st = avformat_new_stream(oc, nullptr);
  AVFrame* frame = av_frame_alloc();
  AVPacket* pkt = av_packet_alloc();
  bool ok = c && st && frame && pkt;
  if (ok) {
    c->width = W;
    c->height = H;
    c->time_base = AVRational{1, 25};
    c->framerate = AVRational{25, 1};
    c->gop_size = 6;
    c->max_b_frames = 2;
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->flags |= AV_CODEC_FLAG_QSCALE;
    c->global_quality = FF_QP2LAMBDA * 2;
    if (oc->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    ok = avcodec_open2(c, codec, nullptr) >= 0 && avcodec_parameters_from_context(st->codecpar, c) >= 0;
  }
  if (ok) {
    st->time_base = c->time_base;
    frame->format = c->pix_fmt;
    frame->width = W;
    frame->height = H;
    ok = av_frame_get_buffer(frame, 0) >= 0 && avio_open(&oc->pb, Path.c_str(), AVIO_FLAG_WRITE) >= 0 &&
         avformat_write_header(oc, nullptr) >= 0;
  }
  auto drain = [&]() {
    while (avcodec_receive_packet(c, pkt) == 0) {
      pkt->duration = 1;  // one frame: lets the MP4 muxer give the last frame its length
      av_packet_rescale_ts(pkt, c->time_base, st->time_base);
      pkt->stream_index = st->index;
      if (av_interleaved_write_frame(oc, pkt) < 0) ok = false;
    }
  };
  for (int k = 0; ok && k < kClipFrames; ++k) {
    ok = av_frame_make_writable(frame) >= 0;
    // Studio-range BT.601 of the frame's colour.
    const double r = 10 * k, g = 255 - 10 * k, b = 40;
    const int y = int(16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255 + 0.5);
    const int u = int(128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255 + 0.5);
    const int v = int(128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255 + 0.5);
    for (int row = 0; row < H; ++row) memset(frame->data[0] + row * frame->linesize[0], y, size_t(W));
    for (int row = 0; row < H / 2; ++row) {
      memset(frame->data[1] + row * frame->linesize[1], u, size_t(W / 2));
      memset(frame->data[2] + row * frame->linesize[2], v, size_t(W / 2));
    }
    frame->pts = k;
    if (ok && avcodec_send_frame(c, frame) < 0) ok = false;
    if (ok) drain();
  }
  if (ok && avcodec_send_frame(c, nullptr) >= 0) drain();
  if (ok) ok = av_write_trailer(oc) >= 0;
  if (oc->pb) avio_closep(&oc->pb);
  av_packet_free(&pkt);
  av_frame_free(&frame);
  avcodec_free_context(&c);
  avformat_free_context(oc);
  return ok;
}

}  // namespace

TEST(VideoReader, CompressedClipsSeekThroughKeyFrames) {
  TempDir dir;
  constexpr int W = 32, H = 16;
  for (const char* muxer : {"avi", "matroska", "mp4"}) {
    SCOPED_TRACE(muxer);
    const std::string path = dir.file(std::string("clip.") + muxer);
    if (!EncodeClip(path, muxer, W, H)) {
      ADD_FAILURE() << "cannot encode the clip";
      continue;
    }
    auto r = TVideoReader::Open(path);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetFrameCount(), kClipFrames);
    EXPECT_EQ(r->GetAverageTimePerFrame100ns(), 400000);
    EXPECT_EQ(r->GetDuration100ns(), kClipFrames * 400000);
    for (int k : {0, 1, 2, 3, 4, 5, 6, 7, 23, 0, 13, 7, 8, 6, 5, 22, 1, 17, 12, 11}) {
      SCOPED_TRACE(k);
      TVideoFrame b;
      ASSERT_TRUE(r->GetFrame(k, &b));
      ASSERT_EQ(b.GetWidth(), W);
      ASSERT_EQ(b.GetHeight(), H);
      const uint8_t* p = b.GetScanline(H / 2) + 3 * (W / 2);  // blue, green, red
      EXPECT_NEAR(p[2], 10 * k, 4);
      EXPECT_NEAR(p[1], 255 - 10 * k, 4);
      EXPECT_NEAR(p[0], 40, 4);
    }
  }
}
