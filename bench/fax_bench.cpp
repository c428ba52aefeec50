// Fax codec throughput on a multi-page Group 4 document (eight 1728 x 2200
// pages of text-like content): the bare codec on strips in memory.  The
// comparison with libtiff on the same pages, through files as users run them,
// is in tiff_document_bench.cpp.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "formats/fax/ccitt_fax.h"
#include "platform/rtl/streams.h"
#include "support/mini_tiff.h"

namespace {

constexpr int32_t kWidth = 1728;
constexpr int32_t kHeight = 2200;
constexpr int kPages = 8;
constexpr size_t kRowBytes = (kWidth + 7) / 8;

using Page = std::vector<std::vector<uint8_t>>;  // rows, 1 = black

void SetBlack(std::vector<uint8_t>& Row, int32_t From, int32_t To) {
  for (int32_t x = std::max(From, 0); x < std::min(To, kWidth); ++x) Row[x >> 3] |= uint8_t(0x80 >> (x & 7));
}

// Lines of "words": blocks of glyph-like strokes that change a little from row
// to row, with rules and a letterhead band, like a typed fax page.
Page MakeFaxPage(uint32_t Seed) {
  std::mt19937 rng(Seed);
  Page p(kHeight, std::vector<uint8_t>(kRowBytes, 0));
  for (int32_t y = 100; y < 160; ++y) SetBlack(p[y], 150, 1578);  // letterhead band
  for (int32_t top = 250; top + 30 < kHeight - 100; top += 42) {
    // One text line: glyph columns with stroke widths that vary per row.
    std::vector<std::pair<int32_t, int32_t>> strokes;
    for (int32_t x = 120; x < kWidth - 150;) {
      const int32_t word = 3 + int32_t(rng() % 9);
      for (int32_t g = 0; g < word; ++g) {
        strokes.push_back({x, 2 + int32_t(rng() % 4)});
        strokes.push_back({x + 6 + int32_t(rng() % 8), 2 + int32_t(rng() % 3)});
        x += 16 + int32_t(rng() % 6);
      }
      x += 20 + int32_t(rng() % 20);
    }
    for (int32_t y = top; y < top + 28; ++y) {
      for (auto& s : strokes) {
        if (rng() % 9 == 0) s.first += int32_t(rng() % 3) - 1;  // slanted and curved strokes
        SetBlack(p[y], s.first, s.first + s.second);
      }
      if (y == top + 13 && rng() % 3 == 0) SetBlack(p[y], 120, kWidth - 150);  // a crossbar
    }
  }
  for (int32_t y = kHeight - 80; y < kHeight - 77; ++y) SetBlack(p[y], 60, kWidth - 60);
  return p;
}

const std::vector<Page>& Document() {
  static const std::vector<Page> doc = [] {
    std::vector<Page> d;
    for (int i = 0; i < kPages; ++i) d.push_back(MakeFaxPage(uint32_t(i + 1)));
    return d;
  }();
  return doc;
}

std::vector<uint8_t> EncodeG4(const Page& P) {
  TCcittEncoder encoder(ccsGroup4, kWidth, 1);
  for (const auto& row : P) encoder.EncodeRow(row.data());
  encoder.FinishStrip();
  return std::vector<uint8_t>(encoder.Data(), encoder.Data() + encoder.Size());
}

const std::vector<std::vector<uint8_t>>& CodedDocument() {
  static const std::vector<std::vector<uint8_t>> coded = [] {
    std::vector<std::vector<uint8_t>> c;
    for (const Page& p : Document()) c.push_back(EncodeG4(p));
    return c;
  }();
  return coded;
}

void SetCounters(benchmark::State& State) {
  State.SetItemsProcessed(int64_t(State.iterations()) * kPages);  // pages
  State.SetBytesProcessed(int64_t(State.iterations()) * kPages * int64_t(kRowBytes) * kHeight);
}

void BM_FaxG4Decode(benchmark::State& State) {
  const auto& coded = CodedDocument();
  CcittInitialize();
  std::vector<uint8_t> row(kRowBytes), ref(kRowBytes);
  for (auto _ : State) {
    for (const auto& strip : coded) {
      std::fill(ref.begin(), ref.end(), 0xFF);
      int32_t pos = 0;
      for (int32_t y = 0; y < kHeight; ++y)
        pos = CcittDecode2DLine(row.data(), strip.data(), int32_t(strip.size()), false, 1, pos, ref.data(), kWidth);
      benchmark::DoNotOptimize(pos);
    }
  }
  SetCounters(State);
}
BENCHMARK(BM_FaxG4Decode)->Unit(benchmark::kMillisecond);

void BM_FaxG4Encode(benchmark::State& State) {
  const auto& doc = Document();
  for (auto _ : State) {
    for (const Page& p : doc) benchmark::DoNotOptimize(EncodeG4(p));
  }
  SetCounters(State);
}
BENCHMARK(BM_FaxG4Encode)->Unit(benchmark::kMillisecond);

}  // namespace
