// Decoding a 2480 x 3508 RGB PNG (an A4 page at 300 dpi) with the PNG picture
// class beside libpng decoding the same bytes into a whole-image buffer in the
// same run. BM_PngDecodeRatio prints the picture class's time over libpng's.
#include <benchmark/benchmark.h>
#include <png.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <vector>

#include "pictures/png_picture.h"
#include "platform/rtl/streams.h"

namespace {

constexpr uint32_t kWidth = 2480;
constexpr uint32_t kHeight = 3508;

// A page: white paper with lines of dark "text" strokes, a coloured photo
// block with gradients and noise, and a light scan noise everywhere.
std::vector<uint8_t> MakePage() {
  std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
  std::mt19937 rng(11);
  for (uint32_t y = 0; y < kHeight; ++y) {
    uint8_t* row = rgb.data() + size_t(y) * kWidth * 3;
    const bool textRow = (y % 50) > 20 && (y % 50) < 42 && y > 300 && y < 2400;
    for (uint32_t x = 0; x < kWidth; ++x) {
      uint8_t r = 250, g = 250, b = 246;
      if (textRow && x > 200 && x < 2280 && ((x / 7 + y / 50) % 5 != 0) && (rng() % 3 == 0)) r = g = b = 30;
      if (y >= 2500 && y < 3300 && x >= 300 && x < 2180) {
        r = uint8_t((x * 255) / kWidth);
        g = uint8_t((y * 255) / kHeight);
        b = uint8_t(((x + y) / 8) & 0xFF);
      }
      const int noise = int(rng() % 5) - 2;
      row[3 * x] = uint8_t(std::clamp(r + noise, 0, 255));
      row[3 * x + 1] = uint8_t(std::clamp(g + noise, 0, 255));
      row[3 * x + 2] = uint8_t(std::clamp(b + noise, 0, 255));
    }
  }
  return rgb;
}

// The page as libpng writes it with its default filters and compression.
const std::vector<uint8_t>& PageFile() {
  static const std::vector<uint8_t> file = [] {
    const std::vector<uint8_t> rgb = MakePage();
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t n) {
          auto* o = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
          o->insert(o->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (uint32_t y = 0; y < kHeight; ++y)
      png_write_row(png, const_cast<png_bytep>(rgb.data() + size_t(y) * kWidth * 3));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
  }();
  return file;
}

void DecodeWithPicture(const std::vector<uint8_t>& File) {
  TPNGObject png;
  TCustomMemoryStream s(const_cast<uint8_t*>(File.data()), int64_t(File.size()));
  png.LoadFromStream(&s);
  benchmark::DoNotOptimize(png.RowPointer(int32_t(kHeight - 1))[0]);
}

void DecodeWithLibpng(const std::vector<uint8_t>& File) {
  struct Reader {
    const std::vector<uint8_t>* Data;
    size_t Pos;
  } reader{&File, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_read_fn(png, &reader, [](png_structp p, png_bytep out, png_size_t n) {
    auto* r = static_cast<Reader*>(png_get_io_ptr(p));
    std::memcpy(out, r->Data->data() + r->Pos, n);
    r->Pos += n;
  });
  png_read_info(png, info);
  const uint32_t w = png_get_image_width(png, info), h = png_get_image_height(png, info);
  std::vector<uint8_t> image(size_t(w) * h * 3);
  for (uint32_t y = 0; y < h; ++y) png_read_row(png, image.data() + size_t(y) * w * 3, nullptr);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  benchmark::DoNotOptimize(image.back());
}

void BM_PngPictureDecode(benchmark::State& State) {
  const auto& file = PageFile();
  for (auto _ : State) DecodeWithPicture(file);
  State.SetItemsProcessed(State.iterations() * int64_t(kWidth) * kHeight);
}

void BM_LibpngDecode(benchmark::State& State) {
  const auto& file = PageFile();
  for (auto _ : State) DecodeWithLibpng(file);
  State.SetItemsProcessed(State.iterations() * int64_t(kWidth) * kHeight);
}

// Both decoders in turn, best of several runs each; "ratio" is the picture
// class's time over libpng's (target: at most 1.2).
void BM_PngDecodeRatio(benchmark::State& State) {
  const auto& file = PageFile();
  auto best = [](auto&& Fn) {
    double t = 1e30;
    for (int i = 0; i < 5; ++i) {
      const auto start = std::chrono::steady_clock::now();
      Fn();
      t = std::min(t, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return t;
  };
  double ratio = 0;
  for (auto _ : State) {
    const double ours = best([&] { DecodeWithPicture(file); });
    const double peer = best([&] { DecodeWithLibpng(file); });
    ratio = ours / peer;
  }
  State.counters["ratio"] = ratio;
  State.counters["file_MB"] = double(file.size()) / 1e6;
}

BENCHMARK(BM_PngPictureDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibpngDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PngDecodeRatio)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
