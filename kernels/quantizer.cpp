#include "kernels/quantizer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "foundations/image_buffer.h"
#include "foundations/settings.h"
#include "platform/rtl/sysutils.h"

// ---------------------------------------------------------------------------
// Median cut on 15-bit colours

namespace {

constexpr int32_t kMaxBoxes = 256;
// Palettes are at most this long; larger requests are cut to it so that no
// request can ask for an unbounded network or list.
constexpr int32_t kMaxColorCount = 65536;

inline uint32_t Pack(const TRGB& C) { return uint32_t(C.b) | (uint32_t(C.g) << 8) | (uint32_t(C.r) << 16); }

struct TMedianCutBox {
  double Variance = 0;
  double Mean[3] = {0, 0, 0};  // 5-bit units; axis 0 red, 1 green, 2 blue
  int64_t Count = 0;
  int64_t Hist[3][32] = {};  // marginal histograms of the box's pixels
  int32_t Lower[3] = {0, 0, 0};   // inclusive
  int32_t Upper[3] = {32, 32, 32};  // exclusive
};

inline int32_t HistIndex(int32_t R5, int32_t G5, int32_t B5) { return (R5 << 10) | (G5 << 5) | B5; }

}  // namespace

struct TIEQuantizer::TMedianCutState {
  std::vector<uint32_t> Histogram = std::vector<uint32_t>(32768, 0);
  std::vector<TMedianCutBox> Boxes;
  std::vector<uint8_t> ColorMap = std::vector<uint8_t>(32768, 0);
  int64_t Total = 0;
  int32_t BoxCount = 0;

  void Stats(TMedianCutBox& Box) const {
    Box.Variance = 0;
    if (Box.Count == 0) return;
    for (int a = 0; a < 3; ++a) {
      double s1 = 0, s2 = 0;
      for (int32_t j = Box.Lower[a]; j < Box.Upper[a]; ++j) {
        s1 += double(j) * double(Box.Hist[a][j]);
        s2 += double(j) * double(j) * double(Box.Hist[a][j]);
      }
      Box.Mean[a] = s1 / double(Box.Count);
      Box.Variance += s2 - Box.Mean[a] * Box.Mean[a] * double(Box.Count);
    }
    Box.Variance /= double(Total);
  }

  // Tries to cut Box along Axis into Left and Right; false when it cannot.
  bool TryAxis(const TMedianCutBox& Box, int Axis, TMedianCutBox& Left, TMedianCutBox& Right) const {
    const int32_t lo = Box.Lower[Axis], hi = Box.Upper[Axis];
    if (lo + 1 >= hi) return false;
    const double c = Box.Mean[Axis];
    const int64_t count = Box.Count;
    const int32_t first = IERound((lo + c) * 0.5);
    const int32_t last = IERound((c + hi) * 0.5);
    auto h = [&](int32_t e) -> int64_t { return (e >= 0 && e < 32) ? Box.Hist[Axis][e] : 0; };
    int64_t sum = 0;
    for (int32_t e = lo; e < first; ++e) sum += h(e);
    double best = -1, moment = 0;
    int32_t cut = first;
    int64_t left = count;
    for (int32_t e = first; e <= last; ++e) {
      sum += h(e);
      if (sum == count) break;
      moment += double(h(e)) * e / double(count);
      const double score = double(sum) / double(count - sum) * (c - moment) * (c - moment);
      if (score > best) {
        best = score;
        cut = e;
        left = sum;
      }
    }
    if (left <= 0 || count - left <= 0) return false;
    Left = Box;
    Right = Box;
    Left.Count = left;
    Left.Upper[Axis] = cut + 1;
    Right.Count = count - left;
    Right.Lower[Axis] = cut + 1;
    // Rebuild the left marginals from the 3-D histogram; the right half keeps
    // what is left.
    for (auto& row : Left.Hist) std::fill(std::begin(row), std::end(row), 0);
    for (int32_t r = Left.Lower[0]; r < Left.Upper[0]; ++r)
      for (int32_t g = Left.Lower[1]; g < Left.Upper[1]; ++g)
        for (int32_t b = Left.Lower[2]; b < Left.Upper[2]; ++b) {
          const uint32_t v = Histogram[HistIndex(r, g, b)];
          if (!v) continue;
          Left.Hist[0][r] += v;
          Left.Hist[1][g] += v;
          Left.Hist[2][b] += v;
          Right.Hist[0][r] -= v;
          Right.Hist[1][g] -= v;
          Right.Hist[2][b] -= v;
        }
    for (TMedianCutBox* bx : {&Left, &Right}) {
      for (int a = 0; a < 3; ++a) {
        int32_t f = bx->Lower[a], l = bx->Upper[a] - 1;
        while (f <= l && bx->Hist[a][f] == 0) ++f;
        while (l >= f && bx->Hist[a][l] == 0) --l;
        if (f <= l) {
          bx->Lower[a] = f;
          bx->Upper[a] = l + 1;
        }
      }
      Stats(*bx);
    }
    return true;
  }

  bool Split(int32_t K, int32_t I) {
    TMedianCutBox& box = Boxes[K];
    if (box.Variance == 0 || box.Count == 0) {
      box.Variance = 0;
      return false;
    }
    TMedianCutBox l[3], r[3];
    double score[3];
    for (int a = 0; a < 3; ++a)
      score[a] = TryAxis(box, a, l[a], r[a]) ? l[a].Variance + r[a].Variance
                                            : std::numeric_limits<double>::infinity();
    int chosen = -1;
    for (int a = 0; a < 3; ++a)
      if (std::isfinite(score[a]) && (chosen < 0 || score[a] < score[chosen])) chosen = a;
    if (chosen < 0) {
      box.Variance = 0;
      return false;
    }
    Boxes[I] = r[chosen];
    Boxes[K] = l[chosen];
    return true;
  }
};

// ---------------------------------------------------------------------------
// NeuQuant

struct TIEQuantizer::TNeuQuantNet {
  int32_t N = 0;
  std::vector<std::array<int32_t, 4>> Neurons;  // blue, green, red, palette index
  int32_t Index[256] = {};
  std::vector<int32_t> Bias, Freq, RadPower;

  int32_t Search(int32_t B, int32_t G, int32_t R) const {
    int32_t bestd = 1000, best = -1;
    // Neuron p at green distance Dist (>= 0): blue, then red, are added only
    // while the sum can still beat the best.
    auto visit = [&](const std::array<int32_t, 4>& p, int32_t Dist) {
      Dist += std::abs(p[0] - B);
      if (Dist >= bestd) return;
      Dist += std::abs(p[2] - R);
      if (Dist < bestd) {
        bestd = Dist;
        best = p[3];
      }
    };
    // Outwards from the green index in both directions; a side stops once its
    // green distance alone reaches the best.
    int32_t i = Index[G], j = i - 1;
    while (i < N || j >= 0) {
      if (i < N) {
        const auto& p = Neurons[i];
        const int32_t dist = p[1] - G;
        if (dist >= bestd) {
          i = N;
        } else {
          ++i;
          visit(p, std::abs(dist));
        }
      }
      if (j >= 0) {
        const auto& p = Neurons[j];
        const int32_t dist = G - p[1];
        if (dist >= bestd) {
          j = -1;
        } else {
          --j;
          visit(p, std::abs(dist));
        }
      }
    }
    return best;
  }
};

namespace {

using TNet = TIEQuantizer::TNeuQuantNet;

int32_t NeuQuantSamplingFactor(int64_t Pixels, int32_t Quality) {
  if (Quality == -1) {
    if (Pixels < 2000) return 1;
    const int64_t product = (Pixels - 2000) * 13;
    return std::clamp(IERound((long double)product / 148000 + 2), 1, 30);
  }
  Quality = std::clamp(Quality, 0, 100);
  return (int32_t)std::trunc((100 - Quality) / 100.0L * 29) + 1;
}

void RadPowers(TNet& Net, int32_t Rad, int32_t Alpha) {
  const int64_t rad2 = int64_t(Rad) * Rad;
  for (int32_t i = 0; i < Rad && i < (int32_t)Net.RadPower.size(); ++i)
    Net.RadPower[i] = (int32_t)(int64_t(Alpha) * (((rad2 - int64_t(i) * i) * 256) / rad2));
}

std::unique_ptr<TNet> NeuQuantBuild(TIEBitmap* Bitmap, TRGB* Palette, int32_t PaletteLength,
                                    int32_t Quality, int32_t ColorCount) {
  auto net = std::make_unique<TNet>();
  const int32_t n = std::max(ColorCount, 1);
  const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
  const int64_t pixels = int64_t(width) * height;
  const int32_t factor = NeuQuantSamplingFactor(pixels, Quality);
  net->N = n;
  net->Neurons.assign(n, {0, 0, 0, 0});
  net->Bias.assign(n, 0);
  net->Freq.assign(n, 65536 / n);
  net->RadPower.assign(std::max(n / 8, 1), 0);
  for (int32_t i = 0; i < n; ++i) {
    const int32_t v = int32_t(int64_t(i) * 4096 / n);
    net->Neurons[i] = {v, v, v, 0};
  }

  // Learning.
  const int64_t lengthCount = pixels * 3;
  const int32_t alphaDec = 30 + (factor - 1) / 3;
  const int64_t samples = lengthCount / (3 * int64_t(factor));
  const int64_t delta = std::max<int64_t>(samples / 100, 1);
  int32_t alpha = 1024;
  int32_t radius = (n / 8) * 64;
  int32_t rad = radius >= 128 ? radius >> 6 : 0;
  RadPowers(*net, rad, alpha);
  int64_t step;
  if (lengthCount % 499) step = 499;
  else if (lengthCount % 491) step = 491;
  else if (lengthCount % 487) step = 487;
  else step = 503;
  int64_t p = 0;
  auto& neurons = net->Neurons;
  auto& bias = net->Bias;
  auto& freq = net->Freq;
  for (int64_t s = 0; s < samples; ++s) {
    int64_t row = p / width;
    if (row >= height) row %= height;
    const TRGB* px = reinterpret_cast<const TRGB*>(Bitmap->GetScanline((int32_t)row)) + p % width;
    const int32_t b = int32_t(px->b) << 4, g = int32_t(px->g) << 4, r = int32_t(px->r) << 4;

    // Contest: nearest neuron, and the winner biased by frequency.
    int32_t bestd = std::numeric_limits<int32_t>::max(), bestbiasd = bestd;
    int32_t bestpos = 0, bestbiaspos = 0;
    for (int32_t i = 0; i < n; ++i) {
      const auto& nu = neurons[i];
      const int32_t dist = std::abs(nu[0] - b) + std::abs(nu[1] - g) + std::abs(nu[2] - r);
      if (dist < bestd) {
        bestd = dist;
        bestpos = i;
      }
      const int32_t biasdist = dist - (bias[i] >> 12);
      if (biasdist < bestbiasd) {
        bestbiasd = biasdist;
        bestbiaspos = i;
      }
      const int32_t betafreq = freq[i] >> 10;
      freq[i] -= betafreq;
      bias[i] += betafreq << 10;
    }
    freq[bestpos] += 64;
    bias[bestpos] -= 65536;
    const int32_t winner = bestbiaspos;

    auto& w = neurons[winner];
    w[0] -= int32_t(int64_t(alpha) * (w[0] - b) / 1024);
    w[1] -= int32_t(int64_t(alpha) * (w[1] - g) / 1024);
    w[2] -= int32_t(int64_t(alpha) * (w[2] - r) / 1024);

    if (rad > 0) {
      const int32_t lo = std::max(-1, winner - rad), hi = std::min(n, winner + rad);
      // Neighbours move towards the sample by their distance's weight.
      auto pull = [&](std::array<int32_t, 4>& q, int64_t a) {
        q[0] -= int32_t(a * (q[0] - b) / 262144);
        q[1] -= int32_t(a * (q[1] - g) / 262144);
        q[2] -= int32_t(a * (q[2] - r) / 262144);
      };
      int32_t j = winner + 1, k = winner - 1, m = 1;
      while (j < hi || k > lo) {
        const int64_t a = net->RadPower[m++];
        if (j < hi) pull(neurons[j++], a);
        if (k > lo) pull(neurons[k--], a);
      }
    }

    p += step;
    if (p >= pixels) p -= pixels;
    if ((s + 1) % delta == 0) {
      alpha -= alpha / alphaDec;
      radius -= radius / 30;
      rad = radius >= 128 ? radius >> 6 : 0;
      RadPowers(*net, rad, alpha);
    }
  }

  // Unbias and read the palette.
  for (int32_t i = 0; i < n; ++i) {
    for (int c = 0; c < 3; ++c) neurons[i][c] = std::clamp((neurons[i][c] + 8) >> 4, 0, 255);
    neurons[i][3] = i;
    if (i < PaletteLength) {
      Palette[i].b = uint8_t(neurons[i][0]);
      Palette[i].g = uint8_t(neurons[i][1]);
      Palette[i].r = uint8_t(neurons[i][2]);
    }
  }

  // Green index: selection sort by green, then the start position of each
  // green value.
  int32_t previous = 0, start = 0;
  for (int32_t i = 0; i < n; ++i) {
    int32_t smallpos = i, smallval = neurons[i][1];
    for (int32_t j = i + 1; j < n; ++j)
      if (neurons[j][1] < smallval) {
        smallpos = j;
        smallval = neurons[j][1];
      }
    if (smallpos != i) std::swap(neurons[i], neurons[smallpos]);
    if (smallval != previous) {
      net->Index[previous] = (start + i) >> 1;
      for (int32_t w2 = previous + 1; w2 < smallval; ++w2) net->Index[w2] = i;
      previous = smallval;
      start = i;
    }
  }
  net->Index[previous] = (start + n - 1) >> 1;
  for (int32_t w2 = previous + 1; w2 < 256; ++w2) net->Index[w2] = n - 1;
  return net;
}

std::unique_ptr<TIEQuantizer::TMedianCutState> MedianCutBuild(TIEBitmap* Bitmap, TRGB* Palette,
                                                              int32_t PaletteLength,
                                                              int32_t ColorCount) {
  auto st = std::make_unique<TIEQuantizer::TMedianCutState>();
  const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
  st->Total = int64_t(width) * height;
  const int32_t wanted = std::clamp(ColorCount, 1, kMaxBoxes);
  st->Boxes.assign(kMaxBoxes, TMedianCutBox());
  TMedianCutBox& box0 = st->Boxes[0];
  for (int32_t y = 0; y < height; ++y) {
    const TRGB* row = reinterpret_cast<const TRGB*>(Bitmap->GetScanline(y));
    for (int32_t x = 0; x < width; ++x) {
      const int32_t r5 = row[x].r >> 3, g5 = row[x].g >> 3, b5 = row[x].b >> 3;
      box0.Hist[0][r5]++;
      box0.Hist[1][g5]++;
      box0.Hist[2][b5]++;
      st->Histogram[HistIndex(r5, g5, b5)]++;
    }
  }
  box0.Count = st->Total;
  st->Stats(box0);

  int32_t i = 1;
  while (i < wanted) {
    int32_t k = -1;
    double best = 0;
    for (int32_t j = 0; j < i; ++j)
      if (st->Boxes[j].Variance > best) {
        best = st->Boxes[j].Variance;
        k = j;
      }
    if (k < 0) break;
    if (st->Split(k, i)) ++i;
  }
  st->BoxCount = i;

  for (int32_t k = 0; k < st->BoxCount; ++k) {
    const TMedianCutBox& bx = st->Boxes[k];
    if (k < PaletteLength) {
      Palette[k].r = uint8_t(std::clamp(IERound(bx.Mean[0]), 0, 31) << 3);
      Palette[k].g = uint8_t(std::clamp(IERound(bx.Mean[1]), 0, 31) << 3);
      Palette[k].b = uint8_t(std::clamp(IERound(bx.Mean[2]), 0, 31) << 3);
    }
    for (int32_t r = bx.Lower[0]; r < bx.Upper[0]; ++r)
      for (int32_t g = bx.Lower[1]; g < bx.Upper[1]; ++g)
        for (int32_t b = bx.Lower[2]; b < bx.Upper[2]; ++b)
          st->ColorMap[HistIndex(r, g, b)] = uint8_t(k);
  }
  return st;
}

}  // namespace

// ---------------------------------------------------------------------------
// TIEQuantizer

TIEQuantizer::TIEQuantizer(TIEBitmap* Bitmap, TRGB* Palette, int32_t PaletteLength,
                           int32_t ColorCount)
    : FBitmap(Bitmap), FColorCount(std::clamp(ColorCount, 1, kMaxColorCount)) {
  if (!Palette) PaletteLength = 0;
  if (!FBitmap || FBitmap->IsEmpty()) {
    FIsGray = false;
    return;
  }
  FIsGray = FBitmap->IsGrayscale();
  const TIEPixelFormat pf = FBitmap->GetPixelFormat();
  if (!FIsGray && pf == ie24RGB) {
    if (ExactPaletteBuild(Palette, PaletteLength)) return;
    switch (IEColorReductionAlgorithm) {
      case -1: FMethod = FColorCount < 128 ? 1 : 0; break;
      case 1: FMethod = 1; break;
      default: FMethod = 0; break;
    }
    if (FMethod == 0)
      FNeuQuant = NeuQuantBuild(FBitmap, Palette, PaletteLength, IEColorReductionQuality,
                                FColorCount);
    else
      FMedianCut = MedianCutBuild(FBitmap, Palette, PaletteLength, FColorCount);
  } else if (pf == ie8p) {
    const int32_t n = std::min({FColorCount, PaletteLength, FBitmap->GetPaletteLen()});
    for (int32_t i = 0; i < n; ++i) Palette[i] = FBitmap->GetPaletteColor(i);
  } else if (FIsGray) {
    const int32_t n = std::min(FColorCount, PaletteLength);
    for (int32_t i = 0; i < n; ++i) {
      const uint8_t v = uint8_t(std::clamp((int32_t)std::trunc(i * (256.0 / FColorCount)), 0, 255));
      Palette[i] = TRGB{v, v, v};
    }
  }
}

TIEQuantizer::~TIEQuantizer() = default;

bool TIEQuantizer::ExactPaletteBuild(TRGB* Palette, int32_t PaletteLength) {
  // Distinct colours in order of first appearance; the lookup is hashed so
  // that large colour counts stay quick.
  std::vector<TRGB> list;
  std::unordered_map<uint32_t, int32_t> index;
  const int32_t width = FBitmap->GetWidth(), height = FBitmap->GetHeight();
  uint32_t last = 0xFFFFFFFFu;
  for (int32_t y = 0; y < height; ++y) {
    const TRGB* row = reinterpret_cast<const TRGB*>(FBitmap->GetScanline(y));
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t key = Pack(row[x]);
      if (key == last) continue;
      last = key;
      if (index.count(key)) continue;
      if ((int32_t)list.size() >= FColorCount) return false;
      index.emplace(key, (int32_t)list.size());
      list.push_back(row[x]);
    }
  }
  const int32_t n = std::min((int32_t)list.size(), PaletteLength);
  for (int32_t i = 0; i < n; ++i) Palette[i] = list[i];
  FExactPalette = std::move(list);
  FExactIndex = std::move(index);
  FHasExact = true;
  return true;
}

int32_t TIEQuantizer::ColorToIndex(const TRGB& Color) {
  if (FHasExact) {
    const auto it = FExactIndex.find(Pack(Color));
    return it == FExactIndex.end() ? -1 : it->second;
  }
  // A palette image maps through its own palette, gray or not: the palette
  // handed out was the source palette, not a ramp.
  if (FBitmap && FBitmap->GetPixelFormat() == ie8p) {
    const int32_t len = FBitmap->GetPaletteLen();
    const TRGB* pal = FBitmap->GetPalette();
    if (!pal || len <= 0) return 0;
    for (int32_t i = 0; i < len; ++i)
      if (pal[i] == Color) return i;
    return IEFindNearestColorIndex(pal, len, Color);
  }
  if (FIsGray) return int32_t(int64_t(Color.r) * FColorCount / 256);
  if (FNeuQuant) return std::max(FNeuQuant->Search(Color.b, Color.g, Color.r), 0);
  if (FMedianCut)
    return FMedianCut->ColorMap[HistIndex(Color.r >> 3, Color.g >> 3, Color.b >> 3)];
  return 0;
}

int32_t IEFindNearestColorIndex(const TRGB* Palette, int32_t Count, const TRGB& Color) {
  int32_t best = 0, bestd = std::numeric_limits<int32_t>::max();
  for (int32_t i = 0; i < Count; ++i) {
    const int32_t d = std::abs(int32_t(Palette[i].r) - Color.r) +
                      std::abs(int32_t(Palette[i].g) - Color.g) +
                      std::abs(int32_t(Palette[i].b) - Color.b);
    if (d < bestd) {
      bestd = d;
      best = i;
    }
  }
  return best;
}
