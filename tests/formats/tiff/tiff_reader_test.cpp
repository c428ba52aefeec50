// The TIFF reader and its strip and tile decoder: files made by Ghostscript,
// libtiff's tiffcp, ImageMagick and Pillow read here exactly as libtiff reads
// them; sample layouts decoded row by row; damaged files fail cleanly.
#include <atomic>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "foundations/progress.h"
#include "formats/tiff/tiff_reader.h"
#include "formats/tiff/tiff_strips.h"
#include "platform/rtl/streams.h"
#include "support/bitmap_bytes.h"
#include "support/mini_tiff.h"
#include "support/peer_fixture.h"
#include "support/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
using testsupport::RunCommand;

struct ReadResult {
  std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
  std::unique_ptr<TIEMask> Mask;
  TTiffPageInfo Info;
  std::atomic<bool> Aborting{false};
};

// Reads one page of an in-memory file.
std::unique_ptr<ReadResult> ReadBytes(const Bytes& File, int32_t Page, bool Native = true,
                                      const TTiffChain* Chain = nullptr, TStream* Stream = nullptr,
                                      int32_t TileIndex = -1) {
  auto r = std::make_unique<ReadResult>();
  TMemoryStream own;
  TStream* s = Stream;
  if (!s) {
    own.WriteBuffer(File.data(), int64_t(File.size()));
    own.SetPosition(0);
    s = &own;
  }
  TIEProgressRec progress;
  progress.Aborting = &r->Aborting;
  TTiffPageRequest req;
  req.PageIndex = Page;
  req.NativePixelFormat = Native;
  req.TileIndex = TileIndex;
  req.RelativeOffsets = false;
  req.Chain = Chain;
  TiffReadPage(r->Bitmap.get(), s, req, r->Info, progress, r->Mask);
  return r;
}

Bytes Canonical(TIEBitmap* B) { return testsupport::CanonicalPixels(B); }

// libtiff's samples of a plain page in the form Canonical gives for the pixel
// format the reader chooses with its native formats on.
Bytes Expected(const minitiff::Page& P) {
  Bytes raw;
  for (const auto& s : P.Strips) raw.insert(raw.end(), s.begin(), s.end());
  const size_t rb = P.RowBytes();
  raw.resize(rb * P.Height);
  Bytes out;
  for (uint32_t y = 0; y < P.Height; ++y) {
    const uint8_t* r = raw.data() + y * rb;
    if (P.BitsPerSample == 1 && P.SamplesPerPixel == 1) {
      for (size_t i = 0; i < rb; ++i) out.push_back(P.Photometric == 0 ? uint8_t(~r[i]) : r[i]);
      if (P.Width & 7) out.back() &= uint8_t(0xFF00 >> (P.Width & 7));
    } else if (P.SamplesPerPixel == 1 && P.BitsPerSample == 8) {
      for (size_t i = 0; i < P.Width; ++i) out.push_back(P.Photometric == 0 ? uint8_t(255 - r[i]) : r[i]);
    } else if (P.SamplesPerPixel == 1 && P.BitsPerSample == 16) {
      for (size_t i = 0; i < P.Width; ++i) {
        uint16_t v = uint16_t(r[2 * i] | (r[2 * i + 1] << 8));
        if (P.Photometric == 0) v = uint16_t(65535 - v);
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
      }
    } else if (P.Photometric == 5 && P.BitsPerSample == 8) {  // CMYK: stored inverted
      for (size_t i = 0; i < P.Width; ++i)
        for (int c = 0; c < 4; ++c) out.push_back(uint8_t(255 - r[i * P.SamplesPerPixel + c]));
    } else if (P.BitsPerSample == 16) {  // RGB48: little-endian words, red first
      for (size_t i = 0; i < P.Width; ++i) out.insert(out.end(), r + i * P.SamplesPerPixel * 2, r + i * P.SamplesPerPixel * 2 + 6);
    } else {  // RGB(A), 8 bits: blue, green, red
      for (size_t i = 0; i < P.Width; ++i) {
        const uint8_t* p = r + i * P.SamplesPerPixel;
        out.push_back(p[2]);
        out.push_back(p[1]);
        out.push_back(p[0]);
      }
    }
  }
  return out;
}

uint32_t Get32(const Bytes& F, size_t At) {
  return F[At] | (F[At + 1] << 8) | (F[At + 2] << 16) | (uint32_t(F[At + 3]) << 24);
}
void Put32(Bytes& F, size_t At, uint32_t V) {
  for (int i = 0; i < 4; ++i) F[At + i] = uint8_t(V >> (8 * i));
}
// Offset of directory Index of a little-endian file.
uint32_t DirOffset(const Bytes& F, int Index) {
  uint32_t ifd = Get32(F, 4);
  for (int i = 0; i < Index; ++i) ifd = Get32(F, ifd + 2 + size_t(F[ifd] | (F[ifd + 1] << 8)) * 12);
  return ifd;
}
// Sets the inline value of Tag in directory 0 of a little-endian file.
void PatchTag(Bytes& F, uint16_t Tag, uint32_t Value) {
  const uint32_t ifd = DirOffset(F, 0);
  const uint32_t n = F[ifd] | (F[ifd + 1] << 8);
  for (uint32_t i = 0; i < n; ++i) {
    const size_t e = ifd + 2 + i * 12;
    if ((F[e] | (F[e + 1] << 8)) == Tag) Put32(F, e + 8, Value);
  }
}

class TiffPeers : public testsupport::PeerToolTest {
 protected:
  // libtiff's reading of every page: uncompressed, strips, little-endian,
  // most significant bit first.
  std::vector<minitiff::Page> Libtiff(const std::string& Tif) {
    Run("tiffcp -s -L -p contig -c none -f msb2lsb " + Tif + " " + File("plain.tif"));
    if (HasFatalFailure()) return {};
    return minitiff::ReadTiff(testsupport::ReadFileBytes(File("plain.tif")));
  }

  // Every page of Tif reads here as libtiff reads it; answers the page count.
  // RefTif, when given, is a file libtiff reads the same pixels from.
  size_t SameAsLibtiff(const std::string& Tif, const std::string& What, const std::string& RefTif = "") {
    const auto want = Libtiff(RefTif.empty() ? Tif : RefTif);
    const Bytes file = testsupport::ReadFileBytes(Tif);
    for (size_t p = 0; p < want.size(); ++p) {
      auto got = ReadBytes(file, int32_t(p));
      EXPECT_FALSE(got->Aborting) << What << " page " << p;
      EXPECT_EQ(got->Info.PageCount, int32_t(want.size())) << What;
      EXPECT_EQ(got->Bitmap->GetWidth(), int32_t(want[p].Width)) << What;
      EXPECT_EQ(got->Bitmap->GetHeight(), int32_t(want[p].Height)) << What;
      if (got->Aborting || got->Bitmap->GetWidth() != int32_t(want[p].Width)) continue;
      const Bytes a = Expected(want[p]), b = Canonical(got->Bitmap.get());
      size_t diff = a.size() == b.size() ? 0 : SIZE_MAX;
      for (size_t i = 0; diff == 0 && i < a.size(); ++i)
        if (a[i] != b[i]) diff = i + 1;
      EXPECT_EQ(diff, 0u) << What << " page " << p << " (first difference at byte " << diff - 1 << ")";
    }
    return want.size();
  }
};

const char* kFaxPage = R"PS(%!PS
/drawing {
/Helvetica findfont 24 scalefont setfont 0 setgray
20 200 moveto (Folivra fax page 0123456789 THE QUICK BROWN FOX) show
2 setlinewidth 10 10 moveto 600 190 lineto stroke
50 40 120 90 rectfill 1 setgray 70 60 40 30 rectfill 0 setgray
400 100 50 0 360 arc fill
} def
drawing showpage
300 250 translate 180 rotate drawing showpage
)PS";

TEST_F(TiffPeers, GhostscriptFaxFilesReadAsLibtiffReadsThem) {
  if (!Have("gs") || !Have("tiffcp")) GTEST_SKIP() << "Ghostscript or libtiff tools missing";
  testsupport::WriteFileBytes(File("page.ps"), Bytes(kFaxPage, kFaxPage + strlen(kFaxPage)));
  for (const char* dev : {"tiffg3", "tiffg32d", "tiffg4", "tiffcrle", "tifflzw", "tiffpack"}) {
    for (int fo : {1, 2}) {
      for (const char* res : {"204x98", "204x196"}) {
        const std::string tif = File(std::string(dev) + ".tif");
        const std::string what = std::string(dev) + " fill " + std::to_string(fo) + " " + res;
        Run("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=" + std::string(dev) + " -dFillOrder=" +
            std::to_string(fo) + " -r" + res + " -g1728x" + (res[4] == '9' ? "350" : "700") +
            " -sOutputFile=" + tif + " " + File("page.ps"));
        EXPECT_EQ(SameAsLibtiff(tif, what), 2u) << what;
        auto first = ReadBytes(testsupport::ReadFileBytes(tif), 0);
        EXPECT_EQ(first->Info.DpiX, 204) << what;
        EXPECT_EQ(first->Info.DpiY, res[4] == '9' ? 98 : 196) << what;
        EXPECT_EQ(first->Bitmap->GetPixelFormat(), ie1g) << what;
        EXPECT_FALSE(first->Bitmap->IsAllZero()) << what;
      }
    }
  }
}

// A Group 4 form page from a commercial imaging library whose coder writes
// horizontal codes of two empty runs, which later lines' pass codes count.
TEST_F(TiffPeers, CommercialGroup4FormPageReadsAsLibtiffReadsIt) {
  if (!Have("tiffcp")) GTEST_SKIP() << "libtiff tools missing";
  const std::string tif = std::string(FOLIO_TEST_DATA) + "/g4-2453-wide-desync.tif";
  EXPECT_EQ(SameAsLibtiff(tif, "g4 form"), 1u);
  // The same strip in the other fill order.
  Run("tiffcp -f lsb2msb " + tif + " " + File("lsb.tif"));
  EXPECT_EQ(SameAsLibtiff(File("lsb.tif"), "g4 form, fill order 2"), 1u);
}

// A deterministic picture with edges, gradients and noise.
Bytes Picture(uint32_t W, uint32_t H, uint32_t Channels, uint32_t Seed) {
  std::mt19937 rng(Seed);
  Bytes px(size_t(W) * H * Channels);
  for (uint32_t y = 0; y < H; ++y)
    for (uint32_t x = 0; x < W; ++x)
      for (uint32_t c = 0; c < Channels; ++c) {
        uint8_t v = uint8_t((x * (c + 1) * 7 + y * 3) & 0xFF);
        if ((x / 9 + y / 5) % 3 == 0) v = uint8_t(rng());
        if (x > W / 2 && y < H / 3) v = uint8_t(40 * c);
        px[(size_t(y) * W + x) * Channels + c] = v;
      }
  return px;
}

minitiff::Page PlainPage(uint32_t W, uint32_t H, uint32_t Bits, uint32_t Samples, uint32_t Photometric,
                         const Bytes& Pixels) {
  minitiff::Page p;
  p.Width = W;
  p.Height = H;
  p.BitsPerSample = Bits;
  p.SamplesPerPixel = Samples;
  p.Photometric = Photometric;
  p.Strips = {Pixels};
  return p;
}

TEST_F(TiffPeers, TiffcpLayoutsReadAsLibtiffReadsThem) {
  if (!Have("tiffcp")) GTEST_SKIP() << "libtiff tools missing";
  struct Source {
    const char* Name;
    uint32_t W, H, Bits, Samples, Photometric;
  } sources[] = {
      {"bilevel", 301, 77, 1, 1, 0},
      {"bilevel-black-is-zero", 64, 33, 1, 1, 1},
      {"gray", 97, 41, 8, 1, 1},
      {"rgb", 83, 37, 8, 3, 2},
      {"gray16", 61, 23, 16, 1, 1},
      {"rgb16", 45, 29, 16, 3, 2},
  };
  for (const Source& s : sources) {
    const uint32_t rb = (s.W * s.Bits * s.Samples + 7) / 8;
    Bytes px = Picture(rb, s.H, 1, s.W);
    testsupport::WriteFileBytes(File("src.tif"),
                                minitiff::WriteTiff({PlainPage(s.W, s.H, s.Bits, s.Samples, s.Photometric, px)}));
    std::vector<std::string> options = {"-c none", "-c lzw", "-c zip", "-c packbits", "-r 16 -c lzw",
                                        "-B -c lzw", "-t -w 32 -l 16 -c zip", "-B -t -w 48 -l 32 -c none"};
    if (s.Bits == 16) {
      // Fill order 2 reverses the bits of every byte, whatever the sample size.
      options = {"-c none", "-f lsb2msb -c none", "-f lsb2msb -c zip", "-B -f lsb2msb -c none"};
    } else if (s.Bits == 1) {
      for (const char* o : {"-c g3:1d", "-c g3:2d:fill", "-c g4", "-r 16 -c g4", "-f lsb2msb -c g3:2d",
                            "-f lsb2msb -c packbits", "-B -c g4", "-t -w 64 -l 32 -c g4"})
        options.push_back(o);
    } else {
      for (const char* o : {"-c lzw:2", "-c zip:2", "-B -c zip:2", "-r 5 -c lzw:2"}) options.push_back(o);
      if (s.Samples == 3)
        for (const char* o : {"-p separate -c lzw:2", "-p separate -t -w 32 -l 16 -c lzw:2",
                              "-p separate -t -w 48 -l 32 -c none", "-f lsb2msb -p separate -t -w 16 -l 16 -c zip"})
          options.push_back(o);
    }
    for (const std::string& o : options) {
      Run("tiffcp " + o + " " + File("src.tif") + " " + File("peer.tif"));
      // libtiff cannot turn separate LZW planes back into one: the source
      // holds the same pixels.
      const bool planar = o.find("separate") != std::string::npos;
      EXPECT_EQ(SameAsLibtiff(File("peer.tif"), std::string(s.Name) + " " + o, planar ? File("src.tif") : ""), 1u);
    }
  }
}

TEST_F(TiffPeers, OneTileOfATiledPage) {
  if (!Have("tiffcp")) GTEST_SKIP() << "libtiff tools missing";
  const Bytes px = Picture(97, 41, 1, 9);
  testsupport::WriteFileBytes(File("src.tif"), minitiff::WriteTiff({PlainPage(97, 41, 8, 1, 1, px)}));
  Run("tiffcp -t -w 32 -l 16 -c lzw " + File("src.tif") + " " + File("tiled.tif"));
  const Bytes file = testsupport::ReadFileBytes(File("tiled.tif"));
  for (int32_t tile : {2, 5, 11}) {  // tiles 4 across: (64, 0), (32, 16), (96, 32) at the edges
    auto r = ReadBytes(file, 0, true, nullptr, nullptr, tile);
    ASSERT_FALSE(r->Aborting) << tile;
    ASSERT_EQ(r->Bitmap->GetWidth(), 32);
    ASSERT_EQ(r->Bitmap->GetHeight(), 16);
    const int32_t x0 = (tile % 4) * 32, y0 = (tile / 4) * 16;
    for (int32_t y = 0; y < 16 && y0 + y < 41; ++y)
      for (int32_t x = 0; x < 32 && x0 + x < 97; ++x)
        ASSERT_EQ(r->Bitmap->GetScanline(y)[x], px[size_t(y0 + y) * 97 + size_t(x0 + x)]) << tile << " " << x << "," << y;
  }
}

TEST_F(TiffPeers, ImageMagickAndPillowFilesReadAsLibtiffReadsThem) {
  if (!Have("tiffcp") || !Have("convert")) GTEST_SKIP() << "libtiff tools or ImageMagick missing";
  // Sources: a PBM page, a PGM and a PPM picture written here.
  Bytes pgm = {'P', '5', '\n', '7', '1', ' ', '2', '9', '\n', '2', '5', '5', '\n'};
  const Bytes gray = Picture(71, 29, 1, 5);
  pgm.insert(pgm.end(), gray.begin(), gray.end());
  testsupport::WriteFileBytes(File("src.pgm"), pgm);
  Bytes ppm = {'P', '6', '\n', '5', '3', ' ', '3', '1', '\n', '2', '5', '5', '\n'};
  const Bytes rgb = Picture(53, 31, 3, 6);
  ppm.insert(ppm.end(), rgb.begin(), rgb.end());
  testsupport::WriteFileBytes(File("src.ppm"), ppm);
  minitiff::Bitmap bw;
  bw.Width = 203;
  bw.Height = 45;
  for (uint32_t y = 0; y < bw.Height; ++y) {
    Bytes r((bw.Width + 7) / 8);
    for (uint32_t x = 0; x < bw.Width; ++x)
      if (((x / 7) ^ (y / 3)) & 1 || x == y) r[x / 8] |= uint8_t(0x80 >> (x & 7));
    r.back() &= uint8_t(0xFF00 >> (bw.Width & 7));
    bw.Rows.push_back(r);
  }
  testsupport::WriteFileBytes(File("src.pbm"), minitiff::WritePbm(bw));
  const char* cases[][2] = {
      {"src.pbm", "-compress Group4"}, {"src.pbm", "-compress Fax"}, {"src.pbm", "-compress LZW"},
      {"src.pbm", "-compress None"},   {"src.pgm", "-compress LZW"}, {"src.pgm", "-compress Zip"},
      {"src.pgm", "-compress RLE"},    {"src.pgm", "-depth 16 -compress None"},
      {"src.ppm", "-compress LZW"},    {"src.ppm", "-compress Zip"}, {"src.ppm", "-compress RLE"},
      {"src.ppm", "-alpha set -channel A -evaluate set 60% +channel -compress LZW"},
      {"src.ppm", "-colorspace CMYK -compress LZW"}, {"src.ppm", "-colorspace CMYK -compress None"},
      {"src.ppm", "-depth 16 -compress Zip"},
  };
  for (const auto& c : cases) {
    Run(std::string("convert ") + File(c[0]) + " " + c[1] + " " + File("im.tif"));
    SameAsLibtiff(File("im.tif"), std::string("ImageMagick ") + c[0] + " " + c[1]);
  }
  if (RunCommand("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0) return;
  for (const char* compression : {"None", "'tiff_lzw'", "'tiff_adobe_deflate'", "'packbits'", "'group4'"}) {
    for (const char* src : {"src.pbm", "src.pgm", "src.ppm"}) {
      if (std::string(compression) == "'group4'" && std::string(src) != "src.pbm") continue;
      Run("/usr/bin/python3 -c \"from PIL import Image; Image.open('" + File(src) + "').save('" + File("pil.tif") +
          "', compression=" + compression + ")\"");
      SameAsLibtiff(File("pil.tif"), std::string("Pillow ") + src + " " + compression);
    }
  }
}

// Pages with an alpha sample load their picture with the alpha beside it in
// the mask: RGBA and gray + alpha, associated (premultiplied) or not, 8 and
// 16 bits, chunky and planar, as ImageMagick writes them, against libtiff's
// samples.  16-bit samples keep their high byte; premultiplied colours are
// divided back, within 2 of the exact quotient.
TEST_F(TiffPeers, AlphaPagesLoadPictureAndAlpha) {
  if (!Have("tiffcp") || !Have("convert")) GTEST_SKIP() << "libtiff tools or ImageMagick missing";
  const uint32_t W = 37, H = 19;
  for (const uint32_t colours : {1u, 3u}) {
    for (const uint32_t bits : {8u, 16u}) {
      // A PAM source whose alpha runs from 0 to full over the page.
      const uint32_t maxval = bits == 8 ? 255 : 65535;
      std::string head = "P7\nWIDTH " + std::to_string(W) + "\nHEIGHT " + std::to_string(H) + "\nDEPTH " +
                         std::to_string(colours + 1) + "\nMAXVAL " + std::to_string(maxval) + "\nTUPLTYPE " +
                         (colours == 1 ? "GRAYSCALE_ALPHA" : "RGB_ALPHA") + "\nENDHDR\n";
      Bytes pam(head.begin(), head.end());
      const Bytes px = Picture(W, H, colours + 1, colours * 10 + bits);
      for (uint32_t y = 0; y < H; ++y)
        for (uint32_t x = 0; x < W; ++x)
          for (uint32_t c = 0; c <= colours; ++c) {
            uint32_t v = px[(size_t(y) * W + x) * (colours + 1) + c];
            if (c == colours) v = (x * 255 / (W - 1)) & ~uint32_t(y & 1);
            if (bits == 16) {
              v = std::min<uint32_t>(65535, v * 257 + y);  // the low byte differs from the high one
              pam.push_back(uint8_t(v >> 8));
            }
            pam.push_back(uint8_t(v));
          }
      testsupport::WriteFileBytes(File("src.pam"), pam);
      for (const char* alphaKind : {"unassociated", "associated"}) {
        // libtiff's samples of the chunky file serve the planar ones too
        // (libtiff cannot join separate compressed planes).
        Run("convert " + File("src.pam") + " -define tiff:alpha=" + alphaKind + " -compress None " + File("ref.tif"));
        if (HasFatalFailure()) return;
        const auto want = Libtiff(File("ref.tif"));
        for (const char* layout : {"-compress LZW", "-interlace plane -compress Zip", "-compress None",
                                   "-interlace plane -compress None"}) {
          const std::string what = std::to_string(colours) + "+alpha " + std::to_string(bits) + " bits " + alphaKind +
                                   " " + layout;
          const bool associated = std::string(alphaKind) == "associated";
          const bool planar = std::string(layout).find("plane") != std::string::npos;
          if (planar && associated) {
            // ImageMagick premultiplies separate planes cumulatively (its
            // blue plane three times over): tiffcp separates 8-bit planes.
            if (bits == 16) continue;
            Run("tiffcp -p separate " + std::string(std::string(layout).find("Zip") != std::string::npos ? "-c zip " : "") +
                File("ref.tif") + " " + File("a.tif"));
          } else {
            Run("convert " + File("src.pam") + " -define tiff:alpha=" + alphaKind + " " + layout + " " + File("a.tif"));
          }
          if (HasFatalFailure()) return;
          ASSERT_EQ(want.size(), 1u) << what;
          const minitiff::Page& w = want[0];
          ASSERT_EQ(w.SamplesPerPixel, colours + 1) << what;
          ASSERT_EQ(w.BitsPerSample, bits) << what;
          Bytes raw;
          for (const auto& st : w.Strips) raw.insert(raw.end(), st.begin(), st.end());
          auto got = ReadBytes(testsupport::ReadFileBytes(File("a.tif")), 0);
          ASSERT_FALSE(got->Aborting) << what;
          ASSERT_EQ(got->Bitmap->GetPixelFormat(), ie24RGB) << what;
          ASSERT_TRUE(got->Mask && got->Mask->GetWidth() == int32_t(W)) << what;
          int worst = 0;
          for (uint32_t y = 0; y < H; ++y) {
            const uint8_t* row = got->Bitmap->GetScanline(int32_t(y));
            const uint8_t* mask = got->Mask->GetScanline(int32_t(y));
            for (uint32_t x = 0; x < W; ++x) {
              // libtiff's samples as 8 bits (the high byte of 16-bit ones).
              auto sample = [&](uint32_t c) -> int {
                const size_t at = (size_t(y) * W + x) * (colours + 1) + c;
                return bits == 8 ? raw[at] : raw[at * 2 + 1];  // little-endian words
              };
              const int a = sample(colours);
              ASSERT_EQ(mask[x], a) << what << " alpha at " << x << "," << y;
              for (uint32_t k = 0; k < 3; ++k) {
                int v = sample(colours == 1 ? 0 : k);
                if (associated) v = a == 0 ? 0 : std::min(255, (v * 255 + a / 2) / a);
                const int here = row[3 * x + 2 - k];  // blue, green, red
                worst = std::max(worst, std::abs(here - v));
              }
            }
          }
          EXPECT_LE(worst, associated ? 2 : 0) << what;
        }
      }
    }
  }
}

// JPEG-compressed pages are lossy: libtiff's reading (through ImageMagick) and
// ours must agree closely pixel for pixel.
TEST_F(TiffPeers, JpegPagesReadAsLibtiffReadsThem) {
  if (!Have("tiffcp") || !Have("convert")) GTEST_SKIP() << "libtiff tools or ImageMagick missing";
  const Bytes rgb = Picture(83, 45, 3, 8);
  const Bytes gray = Picture(61, 33, 1, 8);
  testsupport::WriteFileBytes(File("rgb.tif"), minitiff::WriteTiff({PlainPage(83, 45, 8, 3, 2, rgb)}));
  testsupport::WriteFileBytes(File("gray.tif"), minitiff::WriteTiff({PlainPage(61, 33, 8, 1, 1, gray)}));
  const char* cases[][2] = {
      {"rgb.tif", "-c jpeg"},          {"rgb.tif", "-c jpeg:r"},       {"rgb.tif", "-r 16 -c jpeg"},
      {"rgb.tif", "-t -w 32 -l 16 -c jpeg"}, {"gray.tif", "-c jpeg"}, {"gray.tif", "-r 8 -c jpeg:90"},
  };
  for (const auto& c : cases) {
    const std::string what = std::string(c[0]) + " " + c[1];
    Run(std::string("tiffcp ") + c[1] + " " + File(c[0]) + " " + File("jpeg.tif"));
    Run("convert " + File("jpeg.tif") + " -depth 8 rgb:" + File("ref.rgb"));
    const Bytes ref = testsupport::ReadFileBytes(File("ref.rgb"));
    auto r = ReadBytes(testsupport::ReadFileBytes(File("jpeg.tif")), 0);
    ASSERT_FALSE(r->Aborting) << what;
    ASSERT_EQ(r->Bitmap->GetPixelFormat(), ie24RGB) << what;
    const int32_t w = r->Bitmap->GetWidth(), h = r->Bitmap->GetHeight();
    ASSERT_EQ(ref.size(), size_t(w) * h * 3) << what;
    double sum = 0;
    for (int32_t y = 0; y < h; ++y) {
      const uint8_t* row = r->Bitmap->GetScanline(y);
      for (int32_t x = 0; x < w; ++x)
        for (int k = 0; k < 3; ++k) sum += std::abs(int(row[3 * x + 2 - k]) - int(ref[(size_t(y) * w + x) * 3 + k]));
    }
    EXPECT_LT(sum / (double(w) * h * 3), 0.5) << what;
  }
}

// The older JPEG form: a whole JPEG stream, or its tables block (tags 513 and
// 514) with the scan data in the strip.  The pages decode to what the JPEG
// itself decodes to.
TEST_F(TiffPeers, OldJpegPagesDecodeLikeTheirJpegStream) {
  if (!Have("convert")) GTEST_SKIP() << "ImageMagick missing";
  Bytes ppm = {'P', '6', '\n', '4', '0', ' ', '2', '4', '\n', '2', '5', '5', '\n'};
  const Bytes rgb = Picture(40, 24, 3, 11);
  ppm.insert(ppm.end(), rgb.begin(), rgb.end());
  testsupport::WriteFileBytes(File("src.ppm"), ppm);
  Run("convert " + File("src.ppm") + " -quality 90 " + File("src.jpg"));
  const Bytes jpeg = testsupport::ReadFileBytes(File("src.jpg"));
  // Where the scan starts (the SOS marker).
  size_t sos = 2;
  while (sos + 4 < jpeg.size() && !(jpeg[sos] == 0xFF && jpeg[sos + 1] == 0xDA))
    sos += 2 + ((size_t(jpeg[sos + 2]) << 8) | jpeg[sos + 3]);
  ASSERT_LT(sos, jpeg.size());
  // Reference: the JPEG decoded straight, as a one-strip JPEG page.
  for (bool split : {false, true}) {
    minitiff::Page p = PlainPage(40, 24, 8, 3, 6, {});
    p.Compression = 6;
    p.FillOrder = 2;   // entry turned into JPEGInterchangeFormat below
    p.Predictor = 2;   // entry turned into JPEGInterchangeFormatLength
    p.Strips = {split ? Bytes(jpeg.begin() + long(sos), jpeg.end()) : jpeg};
    Bytes f = minitiff::WriteTiff({p});
    f.insert(f.end(), jpeg.begin(), jpeg.begin() + long(sos));  // the tables block at the end
    const uint32_t tables = uint32_t(f.size() - sos);
    const uint32_t strip = 8;
    const uint32_t ifd = DirOffset(f, 0);
    const uint32_t n = f[ifd] | (f[ifd + 1] << 8);
    for (uint32_t i = 0; i < n; ++i) {
      const size_t e = ifd + 2 + i * 12;
      const uint32_t tag = f[e] | (f[e + 1] << 8);
      uint32_t newTag = tag, value = 0;
      if (tag == 266) newTag = 513, value = split ? tables : strip;
      if (tag == 317) newTag = 514, value = split ? uint32_t(sos) : uint32_t(jpeg.size());
      if (tag == 279 && !split) newTag = 0x7FFF;  // no StripByteCounts: the JPEG's own length
      if (newTag == tag) continue;
      f[e] = uint8_t(newTag), f[e + 1] = uint8_t(newTag >> 8);
      if (value) {
        f[e + 2] = 4, f[e + 3] = 0;
        Put32(f, e + 8, value);
      }
    }
    auto r = ReadBytes(f, 0);
    ASSERT_FALSE(r->Aborting) << split;
    ASSERT_EQ(r->Bitmap->GetWidth(), 40);
    // The same JPEG through the JPEG page path.
    minitiff::Page q = PlainPage(40, 24, 8, 3, 6, {jpeg});
    q.Compression = 7;
    auto want = ReadBytes(minitiff::WriteTiff({q}), 0);
    ASSERT_FALSE(want->Aborting);
    EXPECT_EQ(Canonical(r->Bitmap.get()), Canonical(want->Bitmap.get())) << split;
    // Not a blank page.
    EXPECT_NE(r->Bitmap->GetScanline(3)[5], r->Bitmap->GetScanline(20)[100]);
    // The same page whose JPEG claims far more than the page: refused
    // before anything is decoded.
    Bytes claim = f;
    int32_t frames = 0;
    for (size_t i = 0; i + 9 < claim.size(); ++i) {
      if (claim[i] == 0xFF && claim[i + 1] == 0xC0) {
        for (size_t k : {i + 5, i + 7}) claim[k] = 0x02, claim[k + 1] = 0x58;  // 600 x 600
        ++frames;
      }
    }
    ASSERT_GT(frames, 0) << split;
    EXPECT_TRUE(ReadBytes(claim, 0)->Aborting) << split;
  }
}

// The parts of a baseline JPEG that the older TIFF JPEG form keeps in tags
// and strips: the tables and the entropy-coded data.
struct JpegParts {
  std::vector<Bytes> QTables;         // 64 bytes each, by table id
  std::vector<Bytes> DcTables, AcTables;  // 16 counts and the values, by id
  std::vector<uint8_t> Quant, Dc, Ac;  // each component's table ids
  Bytes Scan;                          // between the scan header and EOI
};

JpegParts SplitJpeg(const Bytes& J) {
  JpegParts p;
  p.QTables.resize(4);
  p.DcTables.resize(4);
  p.AcTables.resize(4);
  size_t at = 2;
  while (at + 4 <= J.size() && J[at] == 0xFF) {
    const uint8_t marker = J[at + 1];
    const size_t length = (size_t(J[at + 2]) << 8) | J[at + 3];
    const size_t body = at + 4, end = at + 2 + length;
    if (marker == 0xDB) {
      for (size_t k = body; k + 65 <= end; k += 65) p.QTables[J[k] & 3] = Bytes(J.begin() + long(k + 1), J.begin() + long(k + 65));
    } else if (marker == 0xC4) {
      for (size_t k = body; k + 17 <= end;) {
        size_t count = 0;
        for (size_t i = 1; i <= 16; ++i) count += J[k + i];
        Bytes t(J.begin() + long(k + 1), J.begin() + long(k + 17 + count));
        (J[k] >> 4 ? p.AcTables : p.DcTables)[J[k] & 3] = t;
        k += 17 + count;
      }
    } else if (marker == 0xC0) {
      for (size_t c = 0; c < J[body + 5]; ++c) p.Quant.push_back(J[body + 6 + 3 * c + 2]);
    } else if (marker == 0xDA) {
      for (size_t c = 0; c < J[body]; ++c) {
        p.Dc.push_back(J[body + 2 + 2 * c] >> 4);
        p.Ac.push_back(J[body + 2 + 2 * c] & 15);
      }
      p.Scan.assign(J.begin() + long(end), J.end() - 2);  // up to EOI
      return p;
    }
    at = end;
  }
  return p;
}

// A little-endian TIFF of the older JPEG form with its tables in tags and
// no interchange block: one block of entropy data per strip (Tiled false)
// or tile.
Bytes OldJpegTablesTiff(uint32_t W, uint32_t H, uint32_t Samples, uint32_t BlockW, uint32_t BlockH, bool Tiled,
                        const std::vector<JpegParts>& Blocks) {
  Bytes f = {'I', 'I', 42, 0, 0, 0, 0, 0};
  auto put16 = [&](uint32_t v) { f.push_back(uint8_t(v)), f.push_back(uint8_t(v >> 8)); };
  auto put32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) f.push_back(uint8_t(v >> (8 * i))); };
  auto blob = [&](const Bytes& b) {
    const uint32_t at = uint32_t(f.size());
    f.insert(f.end(), b.begin(), b.end());
    if (f.size() & 1) f.push_back(0);
    return at;
  };
  // The tables of the first block serve every block (the encoder used the
  // same tables for all of them).
  const JpegParts& t = Blocks[0];
  std::vector<uint32_t> q, dc, ac, offsets, counts;
  for (uint32_t c = 0; c < Samples; ++c) {
    q.push_back(blob(t.QTables[t.Quant[c]]));
    dc.push_back(blob(t.DcTables[t.Dc[c]]));
    ac.push_back(blob(t.AcTables[t.Ac[c]]));
  }
  for (const JpegParts& b : Blocks) {
    offsets.push_back(blob(b.Scan));
    counts.push_back(uint32_t(b.Scan.size()));
  }
  auto array = [&](const std::vector<uint32_t>& v) {
    Bytes b;
    for (uint32_t x : v) for (int i = 0; i < 4; ++i) b.push_back(uint8_t(x >> (8 * i)));
    return v.size() == 1 ? v[0] : blob(b);
  };
  const uint32_t bits = Samples == 1 ? 8 : blob({8, 0, 8, 0, 8, 0});
  struct Entry { uint16_t Tag, Type; uint32_t Count, Value; };
  std::vector<Entry> e = {{256, 4, 1, W}, {257, 4, 1, H}, {258, 3, Samples, bits}, {259, 3, 1, 6},
                          {262, 3, 1, Samples == 1 ? 1u : 6u}, {277, 3, 1, Samples}, {284, 3, 1, 1}};
  const uint32_t qa = array(q), dca = array(dc), aca = array(ac);
  const uint32_t oa = array(offsets), ca = array(counts);
  const uint32_t n = uint32_t(Blocks.size());
  if (Tiled) {
    e.insert(e.end(), {{322, 4, 1, BlockW}, {323, 4, 1, BlockH}, {324, 4, n, oa}, {325, 4, n, ca}});
  } else {
    e.insert(e.end(), {{273, 4, n, oa}, {278, 4, 1, BlockH}, {279, 4, n, ca}});
  }
  e.insert(e.end(), {{512, 3, 1, 1}, {519, 4, Samples, qa}, {520, 4, Samples, dca}, {521, 4, Samples, aca}});
  if (Samples == 3) e.push_back({530, 3, 2, 2u | (2u << 16)});
  std::sort(e.begin(), e.end(), [](const Entry& a, const Entry& b) { return a.Tag < b.Tag; });
  const uint32_t ifd = uint32_t(f.size());
  Put32(f, 4, ifd);
  put16(uint32_t(e.size()));
  for (const Entry& x : e) {
    put16(x.Tag), put16(x.Type), put32(x.Count);
    if (x.Type == 3 && x.Count == 1) put16(x.Value), put16(0);
    else put32(x.Value);
  }
  put32(0);
  return f;
}

// Older JPEG pages with only the table tags, in strips and in tiles, gray
// and YCbCr 2 x 2: every block coded by cjpeg with the standard tables.
// Strips read as libtiff reads them (tiff2rgba), within 2 per channel.
// libtiff decodes the last tile of such a page off by a whole block level,
// far from the source picture: tiles are checked against libjpeg's own
// decode of each block with chroma repeated (djpeg -nosmooth).
TEST_F(TiffPeers, OldJpegTablePagesReadAsLibtiffReadsThem) {
  if (!Have("cjpeg") || !Have("tiff2rgba")) GTEST_SKIP() << "libjpeg or libtiff tools missing";
  const uint32_t W = 64, H = 48;
  for (const uint32_t samples : {1u, 3u}) {
    const Bytes px = Picture(W, H, samples, 21 + samples);
    for (const bool tiled : {false, true}) {
      const uint32_t bw = tiled ? 32 : W, bh = 16;
      std::vector<JpegParts> blocks;
      Bytes decoded(size_t(W) * H * 4);  // the blocks as djpeg decodes them, RGBA
      for (uint32_t by = 0; by < H; by += bh)
        for (uint32_t bx = 0; bx < W; bx += bw) {
          std::string head = std::string(samples == 1 ? "P5" : "P6") + "\n" + std::to_string(bw) + " " +
                             std::to_string(bh) + "\n255\n";
          Bytes pnm(head.begin(), head.end());
          for (uint32_t y = 0; y < bh; ++y)
            pnm.insert(pnm.end(), px.begin() + long((size_t(by + y) * W + bx) * samples),
                       px.begin() + long((size_t(by + y) * W + bx + bw) * samples));
          testsupport::WriteFileBytes(File("block.pnm"), pnm);
          Run("cjpeg -quality 85 -sample 2x2 -outfile " + File("block.jpg") + " " + File("block.pnm"));
          if (HasFatalFailure()) return;
          blocks.push_back(SplitJpeg(testsupport::ReadFileBytes(File("block.jpg"))));
          ASSERT_EQ(blocks.back().Quant.size(), samples);
          Run("djpeg -nosmooth -pnm -outfile " + File("block.out") + " " + File("block.jpg"));
          if (HasFatalFailure()) return;
          const Bytes out = testsupport::ReadFileBytes(File("block.out"));
          ASSERT_GE(out.size(), size_t(bw) * bh * samples);
          const size_t body = out.size() - size_t(bw) * bh * samples;
          for (uint32_t y = 0; y < bh; ++y)
            for (uint32_t x = 0; x < bw; ++x)
              for (uint32_t k = 0; k < 3; ++k)
                decoded[(size_t(by + y) * W + bx + x) * 4 + k] =
                    out[body + (size_t(y) * bw + x) * samples + (samples == 1 ? 0 : k)];
        }
      const std::string what = std::to_string(samples) + (tiled ? " samples, tiles" : " samples, strips");
      const Bytes file = OldJpegTablesTiff(W, H, samples, bw, bh, tiled, blocks);
      testsupport::WriteFileBytes(File("old.tif"), file);
      Bytes rgba = decoded;
      if (!tiled) {
        Run("tiff2rgba -c none " + File("old.tif") + " " + File("rgba.tif"));
        if (HasFatalFailure()) return;
        const auto want = minitiff::ReadTiff(testsupport::ReadFileBytes(File("rgba.tif")));
        ASSERT_EQ(want.size(), 1u);
        rgba.clear();
        for (const auto& st : want[0].Strips) rgba.insert(rgba.end(), st.begin(), st.end());
      }
      ASSERT_GE(rgba.size(), size_t(W) * H * 4);
      auto got = ReadBytes(file, 0);
      ASSERT_FALSE(got->Aborting) << what;
      ASSERT_EQ(got->Bitmap->GetWidth(), int32_t(W));
      ASSERT_EQ(got->Bitmap->GetHeight(), int32_t(H));
      int worst = 0;
      for (uint32_t y = 0; y < H; ++y) {
        const uint8_t* row = got->Bitmap->GetScanline(int32_t(y));
        for (uint32_t x = 0; x < W; ++x)
          for (uint32_t k = 0; k < 3; ++k)
            worst = std::max(worst, std::abs(int(row[3 * x + 2 - k]) - int(rgba[(size_t(y) * W + x) * 4 + k])));
      }
      EXPECT_LE(worst, 2) << what;
    }
  }
}

// ---------------------------------------------------------------------------
// Sample layouts, straight through the row decoder

struct LayoutCase {
  const char* Name;
  int32_t Photometric, Samples, Bits, Width;
  std::vector<int32_t> Extra;
  int32_t Subsampling;
  TIEPixelFormat Format;
  Bytes Data;  // one uncompressed row
  Bytes Want;  // the bitmap row (Width pixels)
  Bytes Alpha; // the alpha row; empty: no alpha written
};

TEST(TiffLayouts, RowsConvertIntoTheBitmap) {
  const LayoutCase cases[] = {
      {"4-bit gray levels", 1, 1, 4, 4, {}, 0, ie8g, {0x0F, 0x80}, {0, 255, 136, 0}, {}},
      {"2-bit gray, white is zero", 0, 1, 2, 4, {}, 0, ie8g, {0x1B}, {255, 170, 85, 0}, {}},
      {"palette with alpha", 3, 2, 8, 2, {2}, 0, ie24RGB, {1, 200, 0, 0}, {1, 2, 3, 10, 20, 30}, {200, 0}},
      {"associated alpha clamps", 2, 4, 8, 2, {1}, 0, ie24RGB, {200, 100, 50, 100, 10, 20, 30, 0},
       {128, 255, 255, 0, 0, 0}, {100, 0}},
      {"unassociated alpha", 2, 4, 8, 1, {2}, 0, ie24RGB, {1, 2, 3, 77}, {3, 2, 1}, {77}},
      {"odd-width YCbCr 2x1", 6, 3, 8, 3, {}, 2, ie24RGB, {128, 128, 128, 128, 255, 255, 128, 128},
       {128, 128, 128, 128, 128, 128, 255, 255, 255}, {}},
      {"gray with alpha", 1, 2, 8, 2, {}, 0, ie24RGB, {10, 20, 30, 40}, {10, 10, 10, 30, 30, 30}, {20, 40}},
      {"16-bit gray", 1, 1, 16, 2, {}, 0, ie16g, {0x12, 0x34, 0xFF, 0xEE}, {0x12, 0x34, 0xFF, 0xEE}, {}},
      {"15-bit colour", 2, 1, 16, 1, {}, 0, ie24RGB, {0x1F, 0x7C}, {248, 0, 248}, {}},
  };
  for (const LayoutCase& c : cases) {
    TTIFFVars v;
    v.Photometric = uint16_t(c.Photometric);
    v.SamplesPerPixel = c.Samples;
    v.BitsPerSample = c.Bits;
    v.Compression = 1;
    v.ExtraSamplesCount = int32_t(c.Extra.size());
    for (size_t i = 0; i < c.Extra.size(); ++i) v.ExtraSamplesValues[i] = c.Extra[i];
    v.ExtraSamples = c.Extra.empty() ? 0 : c.Extra[0];
    if (c.Subsampling) v.YCbCrSubsampling[0] = c.Subsampling, v.YCbCrSubsampling[1] = 1;
    v.ColorMap = {10, 20, 30, 1, 2, 3};  // entry 0 = (b 10, g 20, r 30) ...
    v.ColorMapCount = 2;
    TIEBitmap bmp(c.Width, 1, c.Format);
    TIEMask mask;
    mask.AllocateBits(c.Width, 1, 8);
    mask.Fill(255);
    v.AlphaMask = &mask;
    std::atomic<bool> aborting{false};
    TIEProgressRec progress;
    progress.Aborting = &aborting;
    TiffDecodeRows(v, &bmp, 0, progress, 1, c.Width, int64_t(c.Data.size()), c.Data.data(), 0);
    EXPECT_FALSE(aborting) << c.Name;
    const uint8_t* row = bmp.GetScanline(0);
    EXPECT_EQ(Bytes(row, row + c.Want.size()), c.Want) << c.Name;
    if (!c.Alpha.empty()) {
      EXPECT_EQ(Bytes(mask.GetScanline(0), mask.GetScanline(0) + c.Alpha.size()), c.Alpha) << c.Name;
      EXPECT_FALSE(mask.GetFull()) << c.Name;
    }
  }
}

TEST(TiffLayouts, UnsupportedLayoutsAndCompressionsSetTheAbortFlag) {
  struct Case { const char* Name; int32_t Photometric, Samples, Bits, Compression; } cases[] = {
      {"32-bit float gray", 1, 1, 32, 1}, {"JPEG strip", 2, 3, 8, 7}, {"unknown compression", 1, 1, 8, 34676},
      {"separated, 3 inks", 5, 3, 8, 1}, {"transparency mask", 4, 1, 1, 1},
      {"no bits", 1, 1, 0, 1}, {"no samples", 2, 0, 8, 1},
  };
  for (const Case& c : cases) {
    TTIFFVars v;
    v.Photometric = uint16_t(c.Photometric);
    v.SamplesPerPixel = c.Samples;
    v.BitsPerSample = c.Bits;
    v.Compression = uint16_t(c.Compression);
    TIEBitmap bmp(4, 1, ie24RGB);
    const Bytes data(64, 0x55);
    std::atomic<bool> aborting{false};
    TIEProgressRec progress;
    progress.Aborting = &aborting;
    TiffDecodeRows(v, &bmp, 0, progress, 1, 4, int64_t(data.size()), data.data(), 0);
    EXPECT_TRUE(aborting) << c.Name;
  }
}

// ---------------------------------------------------------------------------
// Directory chains and damaged files

// N small pages, page i holding the value i in its first pixel.
Bytes ManyPages(uint32_t N) {
  std::vector<minitiff::Page> pages;
  for (uint32_t i = 0; i < N; ++i) pages.push_back(PlainPage(3, 2, 8, 1, 1, {uint8_t(i), 1, 2, 3, 4, 5}));
  return minitiff::WriteTiff(pages);
}

TEST(TiffChain, PagesAreCountedAndFoundThroughOneWalk) {
  const Bytes file = ManyPages(1000);
  TMemoryStream s;
  s.WriteBuffer(file.data(), int64_t(file.size()));
  s.SetPosition(0);
  TTiffChain chain;
  ASSERT_TRUE(TiffScanChain(&s, false, chain));
  EXPECT_EQ(chain.Offsets.size(), 1000u);
  for (int32_t page : {0, 1, 517, 999}) {
    auto r = ReadBytes(file, page, true, &chain, &s);
    EXPECT_EQ(r->Info.PageCount, 1000);
    ASSERT_FALSE(r->Aborting);
    EXPECT_EQ(r->Bitmap->GetScanline(0)[0], uint8_t(page));
  }
  // A page beyond the last: the count, nothing else, no failure.
  auto r = ReadBytes(ManyPages(3), 5);
  EXPECT_EQ(r->Info.PageCount, 3);
  EXPECT_FALSE(r->Aborting);
  EXPECT_TRUE(r->Bitmap->IsEmpty());
}

TEST(TiffChain, LoopingChainsStopAtTheFirstRepeatedDirectory) {
  for (int loopTo : {0, 1, 3}) {
    Bytes f = ManyPages(4);
    const uint32_t last = DirOffset(f, 3);
    Put32(f, last + 2 + size_t(f[last] | (f[last + 1] << 8)) * 12, DirOffset(f, loopTo));
    auto r = ReadBytes(f, 3);
    EXPECT_EQ(r->Info.PageCount, 4) << loopTo;
    EXPECT_FALSE(r->Aborting);
    EXPECT_EQ(r->Bitmap->GetScanline(0)[0], 3);
  }
}

TEST(TiffChain, SubIfdImagesAreReadInsteadOfTheMainImage) {
  for (uint16_t type : {uint16_t(4), uint16_t(13)}) {
    minitiff::Page main = PlainPage(3, 2, 8, 1, 1, {1, 1, 1, 1, 1, 1});
    main.Predictor = 2;  // an entry to turn into SubIFDs below
    Bytes f = minitiff::WriteTiff({main, PlainPage(4, 1, 8, 1, 1, {7, 8, 9, 10})});
    const uint32_t ifd = DirOffset(f, 0);
    const uint32_t n = f[ifd] | (f[ifd + 1] << 8);
    for (uint32_t i = 0; i < n; ++i) {
      const size_t e = ifd + 2 + i * 12;
      if ((f[e] | (f[e + 1] << 8)) != 317) continue;
      f[e] = 330 & 0xFF, f[e + 1] = 330 >> 8, f[e + 2] = uint8_t(type), f[e + 3] = 0;
      Put32(f, e + 4, 1);
      Put32(f, e + 8, DirOffset(f, 1));
    }
    TMemoryStream s;
    s.WriteBuffer(f.data(), int64_t(f.size()));
    TTiffPageRequest req;
    req.SubIfdIndex = 0;
    req.NativePixelFormat = true;
    TTiffPageInfo info;
    std::atomic<bool> aborting{false};
    TIEProgressRec progress;
    progress.Aborting = &aborting;
    std::unique_ptr<TIEMask> mask;
    TIEBitmap bmp;
    req.RelativeOffsets = false;
    req.IgnoreAlpha = true;
    TiffReadPage(&bmp, &s, req, info, progress, mask);
    ASSERT_FALSE(aborting);
    EXPECT_EQ(info.PageCount, 2);
    EXPECT_EQ(bmp.GetWidth(), 4) << type;
    EXPECT_EQ(bmp.GetScanline(0)[3], 10) << type;
  }
}

TEST(TiffProbes, RecogniseTiffFilesAndRestoreThePosition) {
  const Bytes good = ManyPages(2);
  Bytes noSize = good;
  noSize[DirOffset(noSize, 0) + 2] = 0xFF;  // the first entry (256) becomes tag 0x01FF
  Bytes big = good;
  big[0] = big[1] = 'M';  // wrong byte order for the rest: offsets out of the file
  struct Case { const char* Name; Bytes File; bool Tiff; } cases[] = {
      {"little-endian file", good, true},
      {"without ImageWidth", noSize, false},
      {"header only", Bytes(good.begin(), good.begin() + 8), false},
      {"byte order mismatch", big, false},
      {"not a TIFF", Bytes(64, 'x'), false},
  };
  for (const Case& c : cases) {
    TMemoryStream s;
    s.WriteBuffer(c.File.data(), int64_t(c.File.size()));
    s.SetPosition(3);
    EXPECT_EQ(TiffIsStream(&s), c.Tiff) << c.Name;
    EXPECT_EQ(s.GetPosition(), 3) << c.Name;
    EXPECT_FALSE(TiffIsRawStream(&s)) << c.Name;
    EXPECT_FALSE(HdpIsStream(&s)) << c.Name;
    EXPECT_EQ(s.GetPosition(), 3) << c.Name;
  }
  TMemoryStream s;
  s.WriteBuffer(good.data(), int64_t(good.size()));
  s.SetPosition(0);
  EXPECT_EQ(TiffPageCount(&s), 2);
}

// A Group 4 page made by libtiff, for the damage tests.
Bytes FaxFile(const testsupport::TempDir& Dir) {
  minitiff::Bitmap b;
  b.Width = 200;
  b.Height = 120;
  for (uint32_t y = 0; y < b.Height; ++y) {
    Bytes r(25, 0);
    for (uint32_t x = 0; x < b.Width; ++x)
      if ((x + y) % 17 < 5) r[x / 8] |= uint8_t(0x80 >> (x & 7));
    b.Rows.push_back(r);
  }
  minitiff::Page p = PlainPage(200, 120, 1, 1, 0, {});
  p.Strips = {{}};
  for (auto& r : b.Rows) p.Strips[0].insert(p.Strips[0].end(), r.begin(), r.end());
  testsupport::WriteFileBytes(Dir.file("plain.tif"), minitiff::WriteTiff({p}));
  if (RunCommand("tiffcp -c g4 " + Dir.file("plain.tif") + " " + Dir.file("g4.tif") + " 2>/dev/null") != 0)
    return {};
  return testsupport::ReadFileBytes(Dir.file("g4.tif"));
}

TEST(TiffDamage, TruncatedStripsKeepWhatTheyHoldAndTheRestIsWhite) {
  testsupport::TempDir dir;
  const Bytes file = FaxFile(dir);
  if (file.empty()) GTEST_SKIP() << "libtiff tools missing";
  auto whole = ReadBytes(file, 0);
  ASSERT_FALSE(whole->Aborting);
  // The strip's byte count cut to half of it.
  Bytes cut = file;
  PatchTag(cut, 279, uint32_t(minitiff::ReadTiff(file)[0].Strips[0].size() / 2));
  auto part = ReadBytes(cut, 0);
  EXPECT_FALSE(part->Aborting);
  const int32_t rb = 25;
  int32_t sameRows = 0, whiteRows = 0;
  for (int32_t y = 0; y < 120; ++y) {
    const uint8_t* a = whole->Bitmap->GetScanline(y);
    const uint8_t* b = part->Bitmap->GetScanline(y);
    if (std::memcmp(a, b, rb) == 0) ++sameRows;
    bool white = true;
    for (int32_t i = 0; i < rb; ++i) white &= b[i] == 0xFF;
    whiteRows += white;
  }
  EXPECT_GT(sameRows, 30);
  EXPECT_GT(whiteRows, 10);
}

TEST(TiffDamage, BilevelPagesWithoutPhotometricAreWhiteIsZero) {
  testsupport::TempDir dir;
  Bytes g4 = FaxFile(dir);
  if (g4.empty()) GTEST_SKIP() << "libtiff tools missing";
  auto withTag = ReadBytes(g4, 0);
  // Renumber the PhotometricInterpretation entry so that the tag is absent.
  const uint32_t ifd = DirOffset(g4, 0);
  const uint32_t n = g4[ifd] | (g4[ifd + 1] << 8);
  for (uint32_t i = 0; i < n; ++i) {
    const size_t e = ifd + 2 + i * 12;
    if ((g4[e] | (g4[e + 1] << 8)) == 262) g4[e] = 263 & 0xFF;
  }
  auto without = ReadBytes(g4, 0);
  ASSERT_FALSE(without->Aborting);
  EXPECT_EQ(Canonical(without->Bitmap.get()), Canonical(withTag->Bitmap.get()));
  // Uncompressed samples: 1 = black.
  minitiff::Page p = PlainPage(8, 1, 1, 1, 2, {Bytes{0xF0}});
  auto plain = ReadBytes(minitiff::WriteTiff({p}), 0);
  ASSERT_FALSE(plain->Aborting);
  EXPECT_EQ(plain->Bitmap->GetScanline(0)[0], 0x0F);
}

TEST(TiffDamage, StripsWithoutByteCountsAreReadOnce) {
  // A Group 4 page of 4000 one-row strips (each the one-bit code of a white
  // row) whose byte counts are all 0: each strip is read up to the next one,
  // not again and again to the end of the file.
  struct TCountingStream : TMemoryStream {
    int64_t Bytes = 0;
    int64_t Read(void* Buffer, int64_t Count) override {
      const int64_t n = TMemoryStream::Read(Buffer, Count);
      Bytes += std::max<int64_t>(n, 0);
      return n;
    }
  };
  minitiff::Page p = PlainPage(8, 4000, 1, 1, 0, {});
  p.Compression = 4;
  p.RowsPerStrip = 1;
  p.Strips.assign(4000, Bytes{0x80});
  Bytes f = minitiff::WriteTiff({p});
  const uint32_t ifd = DirOffset(f, 0);
  for (uint32_t i = 0; i < uint32_t(f[ifd] | (f[ifd + 1] << 8)); ++i) {
    const size_t e = ifd + 2 + i * 12;
    if ((f[e] | (f[e + 1] << 8)) == 279) std::fill_n(f.begin() + Get32(f, e + 8), 4 * 4000, 0);
  }
  TCountingStream s;
  s.WriteBuffer(f.data(), int64_t(f.size()));
  s.SetPosition(0);
  s.Bytes = 0;
  auto r = ReadBytes(f, 0, true, nullptr, &s);
  ASSERT_FALSE(r->Aborting);
  ASSERT_EQ(r->Bitmap->GetHeight(), 4000);
  EXPECT_EQ(r->Bitmap->GetScanline(3999)[0], 0xFF);
  EXPECT_LT(s.Bytes, int64_t(f.size()) * 4);
}

TEST(TiffDamage, HugeOrBrokenPagesFailCleanly) {
  // Header and directory of one page whose sizes and offsets come from the case.
  auto page = [](uint32_t W, uint32_t H, uint32_t Off, uint32_t Count, uint16_t Compression, uint16_t Bits) {
    minitiff::Page p = PlainPage(W, H, Bits, 1, 1, {Bytes(16, 0)});
    p.Compression = Compression;
    Bytes f = minitiff::WriteTiff({p});
    PatchTag(f, 273, Off);
    PatchTag(f, 279, Count);
    return f;
  };
  struct Case { const char* Name; Bytes File; bool Abort; } cases[] = {
      {"huge page", page(2000000000, 2000000000, 8, 16, 4, 1), true},
      {"huge gray page", page(60000, 60000, 8, 16, 1, 8), true},
      {"strip beyond the file", page(16, 8, 0x7FFFFFF0, 16, 4, 1), false},
      {"strip count beyond the file", page(16, 8, 8, 0xFFFFFFF0, 32773, 8), false},
      {"zero width", page(0, 8, 8, 16, 1, 8), true},
      {"not a TIFF", Bytes{'X', 'Y', 42, 0, 8, 0, 0, 0}, true},
      {"BigTIFF", Bytes{'I', 'I', 43, 0, 8, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 1, 3, 0, 1, 0}, true},
      {"first directory beyond the end", Bytes{'I', 'I', 42, 0, 0xF0, 0xFF, 0xFF, 0x7F, 0, 0}, true},
      {"no directory", Bytes{'M', 'M', 0, 42, 0, 0, 0, 0}, true},
      // A few bytes of fax data cannot code tens of millions of rows.
      {"1 x 64000000 fax page", page(1, 64000000, 8, 16, 4, 1), true},
      {"1 x 64000000 plain page", page(1, 64000000, 8, 16, 1, 8), true},
      // 250 MB of pixels from a 150-byte file.
      {"50401792 x 40 fax page", page(50401792, 40, 8, 16, 2, 1), true},
      // 67 MB of uncompressed samples, 16 bytes of them in the file.
      {"1025 x 65535 uncompressed page", page(1025, 65535, 8, 16, 1, 8), true},
      // The size check of the older JPEG form compares without overflowing.
      {"old JPEG near 2^31", page(0x7FFFFFF0, 0x7FFFFFF0, 8, 16, 6, 8), true},
      {"old JPEG 2^31 wide", page(0x7FFFFFF0, 4, 8, 16, 6, 8), true},
  };
  for (const Case& c : cases) {
    auto r = ReadBytes(c.File, 0);
    EXPECT_EQ(r->Aborting, c.Abort) << c.Name;
  }
  // Pages with alpha fail on their size before their mask is allocated
  // (one byte per pixel: 4 GB for this 150-byte file).
  for (const uint32_t samples : {2u, 4u}) {
    minitiff::Page a = PlainPage(65535, 65535, 8, samples, samples == 2 ? 1 : 2, {Bytes(16, 0)});
    auto r = ReadBytes(minitiff::WriteTiff({a}), 0);
    EXPECT_TRUE(r->Aborting) << samples;
    EXPECT_TRUE(!r->Mask || r->Mask->GetWidth() == 0) << samples;
  }
  // Tiles or samples no file of this size can fill.
  testsupport::TempDir dir;
  minitiff::Page small = PlainPage(40, 20, 8, 1, 1, {Bytes(800, 9)});
  testsupport::WriteFileBytes(dir.file("s.tif"), minitiff::WriteTiff({small}));
  if (RunCommand("tiffcp -t -w 16 -l 16 " + dir.file("s.tif") + " " + dir.file("t.tif") + " 2>/dev/null") == 0) {
    Bytes tiled = testsupport::ReadFileBytes(dir.file("t.tif"));
    EXPECT_FALSE(ReadBytes(tiled, 0)->Aborting);
    Bytes wide = tiled;
    PatchTag(wide, 322, 0x40000000);
    EXPECT_TRUE(ReadBytes(wide, 0)->Aborting);
    Bytes many = tiled;
    PatchTag(many, 277, 60000);
    EXPECT_TRUE(ReadBytes(many, 0)->Aborting);
  }
  // A JPEG strip whose own header claims far more than its 40 x 16 block
  // (a few bytes can claim gigapixels): refused before anything is
  // allocated or decoded for it.
  minitiff::Page photo = PlainPage(40, 32, 8, 3, 2, {Bytes(40 * 32 * 3, 90)});
  testsupport::WriteFileBytes(dir.file("p.tif"), minitiff::WriteTiff({photo}));
  if (RunCommand("tiffcp -r 16 -c jpeg " + dir.file("p.tif") + " " + dir.file("j.tif") + " 2>/dev/null") == 0) {
    Bytes jpeg = testsupport::ReadFileBytes(dir.file("j.tif"));
    EXPECT_FALSE(ReadBytes(jpeg, 0)->Aborting);
    int32_t frames = 0;
    for (size_t i = 0; i + 9 < jpeg.size(); ++i) {
      if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
        for (size_t k : {i + 5, i + 7}) jpeg[k] = 0x02, jpeg[k + 1] = 0x58;  // 600 x 600
        ++frames;
      }
    }
    ASSERT_GT(frames, 0);
    EXPECT_TRUE(ReadBytes(jpeg, 0)->Aborting);
  }
  // Differing BitsPerSample values are refused.
  minitiff::Page p = PlainPage(2, 2, 8, 3, 2, {Bytes(12, 0)});
  Bytes f = minitiff::WriteTiff({p});
  const size_t bitsAt = 8 + 12;  // the three BitsPerSample values follow the strip
  f[bitsAt + 4] = 16;
  EXPECT_TRUE(ReadBytes(f, 0)->Aborting);
}

// Damaged files fail cleanly: the read either reports the failure through
// the abort flag or gives the page the file declares, and never holds more
// pixels (or alpha) than the data can justify.
TEST(TiffDamage, CorruptedFilesFailCleanlyWithinTheirSizeLimit) {
  testsupport::TempDir dir;
  const Bytes fax = FaxFile(dir);
  if (fax.empty()) GTEST_SKIP() << "libtiff tools missing";
  std::vector<Bytes> bases = {fax};
  const Bytes px = Picture(45, 23, 3, 4);
  testsupport::WriteFileBytes(dir.file("rgb.tif"), minitiff::WriteTiff({PlainPage(45, 23, 8, 3, 2, px)}));
  for (const char* o : {"-t -w 16 -l 16 -c lzw:2", "-p separate -c zip", "-r 3 -c packbits"}) {
    if (RunCommand(std::string("tiffcp ") + o + " " + dir.file("rgb.tif") + " " + dir.file("o.tif") + " 2>/dev/null") == 0)
      bases.push_back(testsupport::ReadFileBytes(dir.file("o.tif")));
  }
  std::mt19937 rng(7);
  int failed = 0, read = 0;
  for (int round = 0; round < 1200; ++round) {
    Bytes f = bases[size_t(round) % bases.size()];
    const int flips = 1 + int(rng() % 8);
    for (int i = 0; i < flips; ++i) f[rng() % f.size()] = uint8_t(rng());
    if (round % 5 == 0) f.resize(rng() % f.size());
    auto r = ReadBytes(f, 0);
    const int64_t limit = TiffDecodedSizeLimit(int64_t(f.size()));
    TIEBitmap& b = *r->Bitmap;
    EXPECT_LE(b.GetRowLen() * b.GetHeight(), limit) << "round " << round;
    if (r->Mask) {
      EXPECT_LE(int64_t(r->Mask->GetWidth()) * r->Mask->GetHeight(), limit) << "round " << round;
    }
    if (r->Aborting) {
      ++failed;
    } else if (!b.IsEmpty()) {
      ++read;
      EXPECT_EQ(b.GetWidth(), r->Info.Vars.ImageWidth) << "round " << round;
      EXPECT_EQ(b.GetHeight(), r->Info.Vars.ImageHeight) << "round " << round;
    }
  }
  // Both outcomes occur: the damage reaches the structure and the data.
  EXPECT_GT(failed, 0);
  EXPECT_GT(read, 0);
}

}  // namespace
