// ICC profiles: profiles built here with the colour engine load, report their
// class and colour space and texts, transform rows between the pixel layouts,
// cache their transform, convert bitmaps; damaged profiles fail cleanly.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "foundations/icc_profile.h"
#include "foundations/image_buffer.h"
#include "platform/rtl/streams.h"

namespace {

using Bytes = std::vector<uint8_t>;

void SetTexts(cmsHPROFILE P, const char* Desc, const char* Cprt) {
  cmsMLU* d = cmsMLUalloc(nullptr, 1);
  cmsMLU* c = cmsMLUalloc(nullptr, 1);
  cmsMLUsetASCII(d, "en", "US", Desc);
  cmsMLUsetASCII(c, "en", "US", Cprt);
  cmsWriteTag(P, cmsSigProfileDescriptionTag, d);
  cmsWriteTag(P, cmsSigCopyrightTag, c);
  cmsMLUfree(d);
  cmsMLUfree(c);
}

// Serialises P (version 2 unless told otherwise, so the texts are plain ASCII
// tags) and closes it.
Bytes Serialise(cmsHPROFILE P, double Version = 2.1) {
  cmsSetProfileVersion(P, Version);
  cmsUInt32Number n = 0;
  EXPECT_TRUE(cmsSaveProfileToMem(P, nullptr, &n));
  Bytes b(n);
  EXPECT_TRUE(cmsSaveProfileToMem(P, b.data(), &n));
  cmsCloseProfile(P);
  return b;
}

Bytes SRGBBytes() {
  cmsHPROFILE p = cmsCreate_sRGBProfile();
  SetTexts(p, "Folivra test sRGB", "Public domain test profile");
  return Serialise(p);
}

Bytes GrayBytes() {
  cmsToneCurve* g = cmsBuildGamma(nullptr, 2.2);
  cmsHPROFILE p = cmsCreateGrayProfile(cmsD50_xyY(), g);
  cmsFreeToneCurve(g);
  SetTexts(p, "Folivra test gray", "Gray copyright");
  return Serialise(p);
}

Bytes LabBytes() { return Serialise(cmsCreateLab4Profile(nullptr), 4.3); }

// A printer profile with a naive ink model: RGB = (1 - C)(1 - K) ..., sampled
// into CLUTs both ways through the engine's sRGB <-> Lab transforms.
cmsInt32Number CmykToLab(const cmsUInt16Number In[], cmsUInt16Number Out[], void* Cargo) {
  cmsUInt16Number rgb[3];
  const double k = In[3] / 65535.0;
  for (int i = 0; i < 3; ++i) rgb[i] = cmsUInt16Number((1 - In[i] / 65535.0) * (1 - k) * 65535 + 0.5);
  cmsDoTransform(static_cast<cmsHTRANSFORM>(Cargo), rgb, Out, 1);
  return 1;
}

cmsInt32Number LabToCmyk(const cmsUInt16Number In[], cmsUInt16Number Out[], void* Cargo) {
  cmsUInt16Number rgb[3];
  cmsDoTransform(static_cast<cmsHTRANSFORM>(Cargo), In, rgb, 1);
  const double r = rgb[0] / 65535.0, g = rgb[1] / 65535.0, b = rgb[2] / 65535.0;
  const double k = 1 - std::max({r, g, b});
  const double d = k < 1 ? 1 - k : 1;
  Out[0] = cmsUInt16Number((1 - r - k) / d * 65535 + 0.5);
  Out[1] = cmsUInt16Number((1 - g - k) / d * 65535 + 0.5);
  Out[2] = cmsUInt16Number((1 - b - k) / d * 65535 + 0.5);
  Out[3] = cmsUInt16Number(k * 65535 + 0.5);
  return 1;
}

Bytes CmykBytes() {
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
  cmsHTRANSFORM toLab = cmsCreateTransform(srgb, TYPE_RGB_16, lab, TYPE_Lab_16, INTENT_PERCEPTUAL, 0);
  cmsHTRANSFORM toRgb = cmsCreateTransform(lab, TYPE_Lab_16, srgb, TYPE_RGB_16, INTENT_PERCEPTUAL, 0);

  cmsHPROFILE p = cmsCreateProfilePlaceholder(nullptr);
  cmsSetProfileVersion(p, 4.3);
  cmsSetDeviceClass(p, cmsSigOutputClass);
  cmsSetColorSpace(p, cmsSigCmykData);
  cmsSetPCS(p, cmsSigLabData);
  cmsPipeline* a2b = cmsPipelineAlloc(nullptr, 4, 3);
  cmsStage* clut1 = cmsStageAllocCLut16bit(nullptr, 9, 4, 3, nullptr);
  cmsStageSampleCLut16bit(clut1, CmykToLab, toLab, 0);
  cmsPipelineInsertStage(a2b, cmsAT_END, cmsStageAllocToneCurves(nullptr, 4, nullptr));
  cmsPipelineInsertStage(a2b, cmsAT_END, clut1);
  cmsPipelineInsertStage(a2b, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
  cmsWriteTag(p, cmsSigAToB0Tag, a2b);
  cmsPipeline* b2a = cmsPipelineAlloc(nullptr, 3, 4);
  cmsStage* clut2 = cmsStageAllocCLut16bit(nullptr, 17, 3, 4, nullptr);
  cmsStageSampleCLut16bit(clut2, LabToCmyk, toRgb, 0);
  cmsPipelineInsertStage(b2a, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
  cmsPipelineInsertStage(b2a, cmsAT_END, clut2);
  cmsPipelineInsertStage(b2a, cmsAT_END, cmsStageAllocToneCurves(nullptr, 4, nullptr));
  cmsWriteTag(p, cmsSigBToA0Tag, b2a);
  SetTexts(p, "Folivra test CMYK", "CMYK copyright");
  cmsPipelineFree(a2b);
  cmsPipelineFree(b2a);
  cmsDeleteTransform(toLab);
  cmsDeleteTransform(toRgb);
  cmsCloseProfile(srgb);
  cmsCloseProfile(lab);
  return Serialise(p, 4.3);
}

void Load(TIEICC& P, const Bytes& B) { P.LoadFromBuffer(B.data(), int32_t(B.size())); }

void PutBE32(Bytes& B, size_t Pos, uint32_t V) {
  B[Pos] = uint8_t(V >> 24);
  B[Pos + 1] = uint8_t(V >> 16);
  B[Pos + 2] = uint8_t(V >> 8);
  B[Pos + 3] = uint8_t(V);
}

}  // namespace

TEST(IccProfile, LoadsProfilesAndReportsClassSpaceAndTexts) {
  struct Case {
    Bytes Data;
    const char* Class;
    const char* Space;
    const char* Desc;  // null: not checked (version 4 texts are not plain)
    const char* Cprt;
  } cases[] = {
      {SRGBBytes(), "mntr", "RGB ", "Folivra test sRGB", "Public domain test profile"},
      {GrayBytes(), "mntr", "GRAY", "Folivra test gray", "Gray copyright"},
      {LabBytes(), "abst", "Lab ", nullptr, nullptr},
      {CmykBytes(), "prtr", "CMYK", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Space);
    TIEICC p;
    Load(p, c.Data);
    EXPECT_TRUE(p.IsValid());
    EXPECT_FALSE(p.HasTransform());
    EXPECT_EQ(p.GetRawLength(), int32_t(c.Data.size()));
    EXPECT_EQ(0, std::memcmp(p.GetRawData(), c.Data.data(), c.Data.size()));
    EXPECT_EQ(p.GetProfileClass(), c.Class);
    EXPECT_EQ(p.GetColorSpace(), c.Space);
    if (c.Desc) {
      EXPECT_EQ(p.GetDescText(), c.Desc);
      EXPECT_EQ(p.GetCprtText(), c.Cprt);
    }
    // A copy holds the same bytes and opens the same way.
    TIEICC q;
    q.Assign(&p);
    EXPECT_TRUE(q.IsValid());
    EXPECT_EQ(q.GetRawLength(), p.GetRawLength());
    EXPECT_EQ(q.GetColorSpace(), c.Space);
    EXPECT_EQ(q.GetDescText(), p.GetDescText());
    p.Clear();
    EXPECT_FALSE(p.IsValid());
    EXPECT_EQ(p.GetRawLength(), 0);
    EXPECT_EQ(p.GetRawData(), nullptr);
    EXPECT_EQ(p.GetDescText(), "");
    EXPECT_EQ(p.GetProfileClass(), "");
  }
}

TEST(IccProfile, BuiltInSRGBHasNoBytesButSurvivesACopy) {
  TIEICC s;
  s.LoadSRGB();
  EXPECT_TRUE(s.IsValid());
  EXPECT_EQ(s.GetRawLength(), 0);
  EXPECT_EQ(s.GetColorSpace(), "RGB ");
  TIEICC c;
  c.Assign(&s);
  EXPECT_TRUE(c.IsValid());
  EXPECT_EQ(c.GetColorSpace(), "RGB ");
  c.Assign(nullptr);
  EXPECT_FALSE(c.IsValid());
}

TEST(IccProfile, TransformsRowsBetweenLayouts) {
  TIEICC srgb, srgb2, gray, lab, cmyk;
  Load(srgb, SRGBBytes());
  srgb2.LoadSRGB();
  Load(gray, GrayBytes());
  Load(lab, LabBytes());
  Load(cmyk, CmykBytes());

  struct Case {
    const char* Name;
    TIEICC* From;
    TIEICC* To;
    uint8_t InLayout, OutLayout;
    Bytes In;
    Bytes Expected;
    int Tolerance;
  } cases[] = {
      // Same profile both ways: layouts only move bytes.
      {"rgb->bgr", &srgb, &srgb2, ieiccRGB, ieiccBGR, {10, 20, 30, 200, 100, 0}, {30, 20, 10, 0, 100, 200}, 1},
      {"bgr->rgb (bit 7 ignored)", &srgb, &srgb2, ieiccBGR | 0x80, ieiccRGB | 0x80, {30, 20, 10}, {10, 20, 30}, 1},
      {"rgb48 le->be", &srgb, &srgb2, ieiccRGB48, ieiccRGB48BE, {0x00, 0x80, 0xFF, 0xFF, 0x00, 0x00}, {0x80, 0x00, 0xFF, 0xFF, 0x00, 0x00}, 2},
      {"3-channel", &srgb, &srgb2, ieicc3Channel, ieicc3Channel, {1, 128, 254}, {1, 128, 254}, 1},
      // Across colour spaces.
      {"bgr->gray", &srgb, &gray, ieiccBGR, ieiccGray, {255, 255, 255, 0, 0, 0}, {255, 0}, 1},
      {"gray->bgr", &gray, &srgb, ieiccGray, ieiccBGR, {255, 0}, {255, 255, 255, 0, 0, 0}, 1},
      {"bgr->lab", &srgb, &lab, ieiccBGR, ieiccCIELab, {255, 255, 255, 0, 0, 0}, {255, 0, 0, 0, 0, 0}, 1},
      {"lab->bgr", &lab, &srgb, ieiccCIELab, ieiccBGR, {255, 0, 0, 0, 0, 0}, {255, 255, 255, 0, 0, 0}, 1},
      {"lab red has positive a*", &srgb, &lab, ieiccRGB, ieiccCIELab, {255, 0, 0}, {138, 81, 70}, 2},
      {"white->no ink", &srgb, &cmyk, ieiccBGR, ieiccCMYKInv, {255, 255, 255}, {255, 255, 255, 255}, 4},
      {"no ink->white", &cmyk, &srgb, ieiccCMYKInv, ieiccBGR, {255, 255, 255, 255}, {255, 255, 255}, 4},
      {"full black ink->black", &cmyk, &srgb, ieiccCMYK, ieiccRGB, {0, 0, 0, 255}, {0, 0, 0}, 6},
      {"rgb48 gray->gray", &srgb, &gray, ieiccRGB48, ieiccGray, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {255}, 1},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const Bytes in = c.In;
    Bytes out(c.Expected.size(), 0xAA);
    const int32_t count = int32_t(c.Expected.size() / [&] {
      switch (c.OutLayout & 0x7F) {
        case ieiccGray: return 1;
        case ieiccCMYK: case ieiccCMYKInv: return 4;
        case ieiccRGB48: case ieiccRGB48BE: return 6;
        default: return 3;
      }
    }());
    ASSERT_TRUE(c.From->TransformPixels(c.To, c.InLayout, c.OutLayout, 0, 0, c.In.data(), out.data(), count));
    EXPECT_EQ(c.In, in) << "the input row must stay untouched";
    for (size_t i = 0; i < out.size(); ++i)
      EXPECT_NEAR(out[i], c.Expected[i], c.Tolerance) << "byte " << i;
    c.From->FreeTransform();
  }
  // Stored CMYK is the complement of ink amounts, both ways.
  const uint8_t stored[4] = {255, 0, 255, 200}, ink[4] = {0, 255, 0, 55};
  uint8_t viaStored[3], viaInk[3], back[4];
  ASSERT_TRUE(cmyk.TransformPixels(&srgb, ieiccCMYKInv, ieiccRGB, 0, 0, stored, viaStored, 1));
  ASSERT_TRUE(cmyk.TransformPixels(&srgb, ieiccCMYK, ieiccRGB, 0, 0, ink, viaInk, 1));
  EXPECT_EQ(Bytes(viaStored, viaStored + 3), Bytes(viaInk, viaInk + 3));
  EXPECT_GT(viaInk[0], 150);  // magenta ink: red stays, green goes
  EXPECT_LT(viaInk[1], 100);
  uint8_t backInk[4];
  ASSERT_TRUE(srgb.TransformPixels(&cmyk, ieiccRGB, ieiccCMYKInv, 0, 0, viaInk, back, 1));
  ASSERT_TRUE(srgb.TransformPixels(&cmyk, ieiccRGB, ieiccCMYK, 0, 0, viaInk, backInk, 1));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(back[i], 255 - backInk[i]);
}

TEST(IccProfile, LongRowsAreConvertedWhole) {
  TIEICC a, b;
  Load(a, SRGBBytes());
  b.LoadSRGB();
  const int32_t n = 5000;  // more than one work chunk
  Bytes in(size_t(n) * 3), out(size_t(n) * 3, 0);
  for (size_t i = 0; i < in.size(); ++i) in[i] = uint8_t(i * 7);
  ASSERT_TRUE(a.TransformPixels(&b, ieiccBGR, ieiccBGR, 0, 0, in.data(), out.data(), n));
  for (size_t i = 0; i < in.size(); ++i) ASSERT_NEAR(out[i], in[i], 1) << i;
}

TEST(IccProfile, TransformIsCachedByItsFourParameters) {
  TIEICC a, b;
  Load(a, SRGBBytes());
  Load(b, GrayBytes());
  uint8_t in[3] = {1, 2, 3}, out[3];
  ASSERT_TRUE(a.TransformPixels(&b, ieiccBGR, ieiccGray, 0, 0, in, out, 1));
  void* first = a.GetTransformHandle();
  ASSERT_TRUE(a.TransformPixels(&b, ieiccBGR, ieiccGray, 0, 0, in, out, 1));
  EXPECT_EQ(a.GetTransformHandle(), first);
  EXPECT_FALSE(a.GetApplied()) << "reusing the transform deletes nothing";
  // Another intent only matters for the comparison: the old one goes.
  ASSERT_TRUE(a.TransformPixels(&b, ieiccBGR, ieiccGray, 1, 0, in, out, 1));
  EXPECT_TRUE(a.GetApplied());
  EXPECT_EQ(a.GetIntent(), 1);
  a.Clear();
  EXPECT_FALSE(a.GetApplied());
  EXPECT_FALSE(a.HasTransform());

  Load(a, SRGBBytes());
  a.FreeTransform();
  EXPECT_FALSE(a.GetApplied()) << "no transform, nothing applied";
  ASSERT_TRUE(a.TransformPixels(&b, ieiccBGR, ieiccGray, 0, 0, in, out, 0));
  a.FreeTransform();
  EXPECT_TRUE(a.GetApplied());
}

TEST(IccProfile, TransformsThatCannotBeMadeAnswerFalseAndWriteNothing) {
  TIEICC srgb, gray, empty;
  Load(srgb, SRGBBytes());
  Load(gray, GrayBytes());
  uint8_t in[4] = {1, 2, 3, 4};
  struct Case {
    const char* Name;
    TIEICC* From;
    TIEICC* To;
    uint8_t InLayout, OutLayout;
  } cases[] = {
      {"null destination", &srgb, nullptr, ieiccBGR, ieiccBGR},
      {"closed destination", &srgb, &empty, ieiccBGR, ieiccBGR},
      {"closed source", &empty, &srgb, ieiccBGR, ieiccBGR},
      {"unknown input layout", &srgb, &srgb, 9, ieiccBGR},
      {"unknown output layout", &srgb, &srgb, ieiccBGR, 0x7F},
      {"gray row into an RGB profile", &srgb, &gray, ieiccGray, ieiccGray},
      {"CMYK row into an RGB profile", &srgb, &srgb, ieiccCMYK, ieiccBGR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    uint8_t out[4] = {0xAA, 0xAA, 0xAA, 0xAA};
    EXPECT_FALSE(c.From->TransformPixels(c.To, c.InLayout, c.OutLayout, 0, 0, in, out, 1));
    EXPECT_FALSE(c.From->HasTransform());
    for (uint8_t v : out) EXPECT_EQ(v, 0xAA);
  }
}

TEST(IccProfile, SaveToStreamWritesLengthThenBytes) {
  const Bytes b = GrayBytes();
  TIEICC p;
  Load(p, b);
  TMemoryStream full, raw;
  p.SaveToStream(&full, false);
  p.SaveToStream(&raw, true);
  ASSERT_EQ(full.GetSize(), int64_t(b.size()) + 4);
  ASSERT_EQ(raw.GetSize(), int64_t(b.size()));
  const uint8_t* f = static_cast<const uint8_t*>(full.GetMemory());
  EXPECT_EQ(uint32_t(f[0] | f[1] << 8 | f[2] << 16 | f[3] << 24), b.size());
  EXPECT_EQ(0, std::memcmp(f + 4, b.data(), b.size()));
  EXPECT_EQ(0, std::memcmp(raw.GetMemory(), b.data(), b.size()));
  TIEICC none;
  TMemoryStream zero;
  none.SaveToStream(&zero, false);
  EXPECT_EQ(zero.GetSize(), 4);
}

TEST(IccProfile, ConvertBitmapReplacesPixelsKeepsAlphaAndMarksApplied) {
  TIEICC srgb, gray;
  Load(srgb, SRGBBytes());
  Load(gray, GrayBytes());
  TIEBitmap img(3, 2, ie24RGB);
  img.Fill(0);
  img.SetPixel24(0, 0, TRGB{255, 255, 255});
  img.SetPixel24(2, 1, TRGB{255, 255, 255});
  img.SetAlpha(1, 1, 77);
  ASSERT_TRUE(srgb.ConvertBitmap(&img, ie8g, &gray));
  EXPECT_EQ(img.GetPixelFormat(), ie8g);
  EXPECT_EQ(img.GetWidth(), 3);
  EXPECT_EQ(img.GetHeight(), 2);
  EXPECT_NEAR(img.GetPixel8(0, 0), 255, 1);
  EXPECT_NEAR(img.GetPixel8(2, 1), 255, 1);
  EXPECT_NEAR(img.GetPixel8(1, 0), 0, 1);
  EXPECT_EQ(img.GetAlpha(1, 1), 77);
  EXPECT_TRUE(srgb.GetApplied());
  EXPECT_FALSE(srgb.HasTransform());

  // Formats without a layout, or a transform that cannot be made, leave the
  // image as it was.
  TIEBitmap mono(8, 1, ie1g);
  mono.Fill(1);
  EXPECT_FALSE(srgb.ConvertBitmap(&mono, ie8g, &gray));
  EXPECT_FALSE(srgb.ConvertBitmap(&img, ie1g, &gray));
  EXPECT_EQ(mono.GetPixelFormat(), ie1g);
  TIEBitmap rgb(2, 1, ie24RGB);
  rgb.Fill(0);
  TIEICC closed;
  EXPECT_FALSE(srgb.ConvertBitmap(&rgb, ie24RGB, &closed));
  EXPECT_EQ(rgb.GetPixelFormat(), ie24RGB);
  EXPECT_FALSE(srgb.ConvertBitmap(nullptr, ie8g, &gray));
}

TEST(IccProfile, TagTextsNeedATableThatFitsTheProfile) {
  const Bytes good = SRGBBytes();
  // 128 bytes or less: no texts, even with a valid-looking table beyond.
  {
    TIEICC p;
    p.LoadFromBuffer(good.data(), 128);
    EXPECT_EQ(p.GetDescText(), "");
    EXPECT_FALSE(p.IsValid());
    EXPECT_EQ(p.GetRawLength(), 128);
  }
  // A table claiming 5000 tags is not scanned.
  {
    Bytes b = good;
    PutBE32(b, 128, 5000);
    TIEICC p;
    Load(p, b);
    EXPECT_EQ(p.GetDescText(), "");
    EXPECT_EQ(p.GetCprtText(), "");
  }
  // Hand-made tag tables: texts end at their zero or at the tag's end, tags of
  // 1000 bytes or more are passed over, the first entry that does not fit
  // ends the scan.
  {
    struct Tag {
      const char* Sig;
      std::string Data;
      uint32_t SizeOverride;  // 0: the data's size
    };
    auto build = [](std::vector<Tag> Tags) {
      Bytes b(132 + 12 * Tags.size(), 0);
      PutBE32(b, 128, uint32_t(Tags.size()));
      for (size_t i = 0; i < Tags.size(); ++i) {
        const size_t off = b.size();
        b.insert(b.end(), Tags[i].Data.begin(), Tags[i].Data.end());
        std::memcpy(&b[132 + 12 * i], Tags[i].Sig, 4);
        PutBE32(b, 132 + 12 * i + 4, uint32_t(off));
        PutBE32(b, 132 + 12 * i + 8, Tags[i].SizeOverride ? Tags[i].SizeOverride : uint32_t(Tags[i].Data.size()));
      }
      return b;
    };
    const std::string pad8(8, '\0'), pad12(12, '\0');
    struct Case {
      const char* Name;
      Bytes Data;
      const char* Desc;
      const char* Cprt;
    } cases[] = {
        {"both texts", build({{"desc", pad12 + "Scanner" + '\0' + "junk", 0}, {"cprt", pad8 + "Me" + '\0', 0}}),
         "Scanner", "Me"},
        {"no zero inside the tag", build({{"desc", pad12 + "ABCDEFGH", 0}}), "ABCDEFGH", ""},
        {"tag of 1000 bytes", build({{"cprt", pad8 + std::string(992, 'x'), 0}, {"desc", pad12 + "D", 0}}), "D", ""},
        {"size past the end", build({{"desc", pad12 + "Z", 0x7FFFFFF0u}, {"cprt", pad8 + "C", 0}}), "", ""},
    };
    for (const Case& c : cases) {
      SCOPED_TRACE(c.Name);
      TIEICC p;
      Load(p, c.Data);
      EXPECT_FALSE(p.IsValid());
      EXPECT_EQ(p.GetDescText(), c.Desc);
      EXPECT_EQ(p.GetCprtText(), c.Cprt);
    }
  }
  // An entry whose offset plus size passes the end (the sum wraps in 32 bits)
  // ends the scan; a text without its terminating zero stops at the tag end.
  {
    const uint32_t count = (uint32_t(good[128]) << 24) | (good[129] << 16) | (good[130] << 8) | good[131];
    for (uint32_t i = 0; i < count; ++i) {
      Bytes b = good;
      PutBE32(b, 132 + 12 * i + 4, 0xFFFFFFF0u);
      PutBE32(b, 132 + 12 * i + 8, 0x20);
      TIEICC p;
      Load(p, b);  // must not read outside the block
    }
  }
}

// Damaged profiles fail cleanly: the bytes are kept exactly as given (no
// more), and a profile the engine refuses, or a transform it cannot make,
// answers false and leaves the pixels as they were.
TEST(IccProfile, DamagedProfilesFailCleanly) {
  // The CLUT-based CMYK profile makes slow transforms: fewer rounds for it.
  const struct {
    Bytes Data;
    size_t Steps;
    int Rounds;
  } sources[] = {{SRGBBytes(), 29, 40}, {GrayBytes(), 29, 40}, {CmykBytes(), 6, 6}};
  TIEICC srgb;
  srgb.LoadSRGB();
  std::mt19937 rng(1234);
  int refused = 0;
  auto exercise = [&](const Bytes& b) {
    TIEICC p;
    p.LoadFromBuffer(b.data(), int32_t(b.size()));
    EXPECT_EQ(p.GetRawLength(), int32_t(b.size()));
    if (!p.IsValid()) ++refused;
    const uint8_t in[12] = {0, 64, 128, 255, 10, 20, 30, 40, 50, 60, 70, 80};
    uint8_t out[12];
    // Only the layout of the profile's own space makes a transform.
    for (uint8_t layout : {ieiccBGR, ieiccGray, ieiccCMYKInv}) {
      std::fill(std::begin(out), std::end(out), uint8_t(0xA5));
      const bool done = p.TransformPixels(&srgb, layout, ieiccBGR, 0, 0, in, out, 3);
      if (!p.IsValid()) {
        EXPECT_FALSE(done);
      }
      if (!done) {
        EXPECT_TRUE(std::all_of(std::begin(out), std::end(out), [](uint8_t v) { return v == 0xA5; }));
      }
      if (done) break;
    }
    TIEBitmap img(2, 2, ie24RGB);
    img.Fill(0);
    const bool converted = p.ConvertBitmap(&img, ie24RGB, &srgb);
    if (!p.IsValid()) {
      EXPECT_FALSE(converted);
    }
    EXPECT_EQ(img.GetWidth(), 2);
    EXPECT_EQ(img.GetHeight(), 2);
    EXPECT_EQ(img.GetPixelFormat(), ie24RGB);
    if (!converted) {
      EXPECT_TRUE(img.IsAllZero());
    }
  };
  for (const auto& source : sources) {
    const Bytes& src = source.Data;
    // Every truncation on a coarse grid, and the last few bytes one by one.
    for (size_t len = 0; len < src.size(); len += std::max<size_t>(1, src.size() / source.Steps))
      exercise(Bytes(src.begin(), src.begin() + len));
    for (size_t len = src.size() - 8; len < src.size(); ++len) exercise(Bytes(src.begin(), src.begin() + len));
    // Random bytes overwritten, the header and tag table most of all.
    for (int round = 0; round < source.Rounds; ++round) {
      Bytes b = src;
      const int hits = 1 + int(rng() % 8);
      for (int h = 0; h < hits; ++h) {
        const size_t pos = (round % 2) ? rng() % std::min<size_t>(b.size(), 256) : rng() % b.size();
        b[pos] = uint8_t(rng());
      }
      exercise(b);
    }
  }
  // The truncations reach profiles the engine refuses.
  EXPECT_GT(refused, 0);
}
