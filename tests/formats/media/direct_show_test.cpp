// The media object the loaders take video frames from: durations in both time
// formats, seeking by frame and by media time, and the unconnected object.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/media/direct_show.h"
#include "foundations/image_buffer.h"
#include "support/avi_writer.h"
#include "support/bitmap_bytes.h"
#include "support/test_support.h"

using namespace testsupport;

namespace {

constexpr int32_t kW = 16, kH = 12, kFrames = 5;

struct TFixture {
  TempDir Dir;
  TVideoFrames Video = MakeTestFrames(kW, kH, kFrames);
  std::string Avi(uint32_t Rate, uint32_t Scale) {
    const std::string path = Dir.file("v" + std::to_string(Rate) + "_" + std::to_string(Scale) + ".avi");
    WriteFileBytes(path, MakeAvi(Video, Rate, Scale));
    return path;
  }
};

void OpenLikeTheLoader(TIEDirectShow& ds, const std::string& file) {
  ds.SetFileInput(file);
  ds.SetSampleGrabber(true);
  ds.Connect();
  ds.Pause();
}

}  // namespace

TEST(DirectShow, DurationsAndSeekingInBothTimeFormats) {
  TFixture fx;
  TIEDirectShow ds;
  OpenLikeTheLoader(ds, fx.Avi(30000, 1001));
  ASSERT_TRUE(ds.GetConnected());
  EXPECT_EQ(ds.GetState(), 1);
  int32_t w = 0, h = 0;
  std::string name;
  ds.GetCurrentVideoFormat(w, h, name);
  EXPECT_EQ(w, kW);
  EXPECT_EQ(h, kH);
  EXPECT_EQ(name, "RGB24");

  ds.SetTimeFormat(TIEDirectShow::TimeFormatMediaTime);
  const int64_t d = ds.GetDuration();
  EXPECT_EQ(d, 1668333);
  ds.SetTimeFormat(TIEDirectShow::TimeFormatFrame);
  EXPECT_EQ(ds.GetDuration(), kFrames);
  const int64_t t = ds.GetAverageTimePerFrame();
  EXPECT_EQ(t, 333667);
  ds.SetTimeFormat(42);  // not a time format: ignored
  EXPECT_EQ(ds.GetTimeFormat(), TIEDirectShow::TimeFormatFrame);

  TIEBitmap b;
  struct TSeek {
    int32_t Format;
    int64_t Position;
    int Frame;
  };
  const TSeek seeks[] = {
      {TIEDirectShow::TimeFormatFrame, 3, 3},
      {TIEDirectShow::TimeFormatFrame, 0, 0},
      {TIEDirectShow::TimeFormatFrame, 4, 4},
      {TIEDirectShow::TimeFormatFrame, 99, 4},  // past the end: last frame
      {TIEDirectShow::TimeFormatFrame, -5, 0},
      {TIEDirectShow::TimeFormatMediaTime, 2 * t, 2},
      {TIEDirectShow::TimeFormatMediaTime, 4 * t, 4},
      {TIEDirectShow::TimeFormatMediaTime, 3 * t - 1, 2},  // still inside frame 2
      {TIEDirectShow::TimeFormatMediaTime, t + t / 2, 1},
      {TIEDirectShow::TimeFormatMediaTime, 0, 0},
      {TIEDirectShow::TimeFormatMediaTime, d, 4},
  };
  for (const TSeek& s : seeks) {
    SCOPED_TRACE(testing::Message() << s.Format << " @ " << s.Position);
    ds.SetTimeFormat(s.Format);
    ds.SetCurrentPosition(s.Position);
    EXPECT_EQ(ds.GetCurrentPosition(), s.Format == TIEDirectShow::TimeFormatFrame ? s.Frame : s.Frame * t);
    ASSERT_TRUE(ds.GetSample(&b, true));
    EXPECT_EQ(CanonicalPixels(&b), fx.Video.Pixels[size_t(s.Frame)]);
  }

  ds.Disconnect();
  EXPECT_FALSE(ds.GetConnected());
  EXPECT_EQ(ds.GetState(), 0);
  EXPECT_EQ(ds.GetDuration(), 0);
  EXPECT_FALSE(ds.GetSample(&b, true));
}

// The multi-image loader's walk: media-time duration first, then frames with
// a step of 1 when the frame format is honoured.
TEST(DirectShow, LoaderWalkGetsEveryFrame) {
  TFixture fx;
  TIEDirectShow ds;
  OpenLikeTheLoader(ds, fx.Avi(25, 1));
  ds.SetTimeFormat(TIEDirectShow::TimeFormatMediaTime);
  const int64_t d = ds.GetDuration();
  ASSERT_EQ(d, 2000000);
  ds.SetTimeFormat(TIEDirectShow::TimeFormatFrame);
  const int64_t n = ds.GetDuration();
  ASSERT_NE(n, d);
  ASSERT_EQ(n, kFrames);
  for (int64_t j = 0; j < n; ++j) {
    TIEBitmap b;
    ds.SetCurrentPosition(j);
    ASSERT_TRUE(ds.GetSample(&b, true));
    EXPECT_EQ(b.GetBitCount(), 24);
    EXPECT_EQ(CanonicalPixels(&b), fx.Video.Pixels[size_t(j)]);
  }
  ds.Disconnect();
}

TEST(DirectShow, NothingToGrabAnswersZeroAndFalse) {
  TFixture fx;
  TIEBitmap b(2, 2, ie8g);
  struct TCase {
    const char* Name;
    std::string File;
    bool Grabber;
    bool Connects;
  };
  const TCase cases[] = {
      {"never connected", "", true, false},
      {"missing file", fx.Dir.file("missing.avi"), true, false},
      {"not a video", fx.Dir.file("plain.txt"), true, false},
      {"grabber off", fx.Avi(25, 1), false, true},
      {"rate 0", fx.Avi(0, 1), true, true},
  };
  WriteFileBytes(fx.Dir.file("plain.txt"), {'h', 'e', 'l', 'l', 'o'});
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TIEDirectShow ds;
    if (std::string(c.Name) != "never connected") {
      ds.SetFileInput(c.File);
      ds.SetSampleGrabber(c.Grabber);
      ds.Connect();
      ds.Pause();
    }
    EXPECT_EQ(ds.GetConnected(), c.Connects);
    EXPECT_EQ(ds.GetState(), c.Connects ? 1 : 0);
    ds.SetTimeFormat(TIEDirectShow::TimeFormatMediaTime);
    // A file without a known length: the loaders stop here.
    const bool hasLength = c.Connects && std::string(c.Name) != "rate 0";
    EXPECT_EQ(ds.GetDuration() != 0, hasLength);
    ds.SetCurrentPosition(0);
    if (c.Connects && c.Grabber) {
      EXPECT_TRUE(ds.GetSample(&b, true));
    } else {
      EXPECT_FALSE(ds.GetSample(&b, true));
    }
    int32_t w = -1, h = -1;
    ds.GetNativeVideoSize(w, h);
    EXPECT_EQ(w, c.Connects ? kW : 0);
    EXPECT_EQ(h, c.Connects ? kH : 0);
  }
}
