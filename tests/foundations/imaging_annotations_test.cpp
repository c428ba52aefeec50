// Imaging annotations: the tag data this system writes, reading it back, the
// older block layout, records and blocks of unknown kinds, and damaged data.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/imaging_annotations.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Save(const TIEImagingAnnot& A) {
  std::unique_ptr<uint8_t[]> d;
  int32_t n = -1;
  A.SaveToTagData(d, n);
  return n > 0 ? Bytes(d.get(), d.get() + n) : Bytes();
}

void Load(TIEImagingAnnot& A, const Bytes& B) { A.LoadFromTagData(B.data(), int32_t(B.size())); }

int32_t LE32(const Bytes& B, size_t Pos) {
  return int32_t(B[Pos] | B[Pos + 1] << 8 | B[Pos + 2] << 16 | uint32_t(B[Pos + 3]) << 24);
}

size_t Find(const Bytes& B, const std::string& S, size_t From = 0) {
  auto it = std::search(B.begin() + From, B.end(), S.begin(), S.end());
  return it == B.end() ? std::string::npos : size_t(it - B.begin());
}

// Builds tag data by hand.
struct TagWriter {
  Bytes B;
  int32_t Format = 1;
  explicit TagWriter(int32_t F) : Format(F) { Int(0), Int(F); }
  TagWriter& Int(int32_t V) {
    for (int i = 0; i < 4; ++i) B.push_back(uint8_t(uint32_t(V) >> (8 * i)));
    return *this;
  }
  TagWriter& Raw(const Bytes& D) {
    B.insert(B.end(), D.begin(), D.end());
    return *this;
  }
  TagWriter& Annotation(int32_t Type, const TRect& R) {
    TIEImagingObject o;
    o.SetAnnotType(Type);
    o.SetBounds(R);
    Int(5).Int(164);
    return Raw(Bytes(o.Attributes, o.Attributes + 164));
  }
  TagWriter& Block(int32_t Record, const char* Name, const Bytes& Data) {
    Int(Record).Int(12);
    char name[8] = {};
    std::memcpy(name, Name, std::min<size_t>(std::strlen(Name), 8));
    Raw(Bytes(name, name + 8)).Int(int32_t(Data.size()));
    if (Format == 0) Int(0);
    return Raw(Data);
  }
};

Bytes Ints(std::initializer_list<int32_t> L) {
  TagWriter w(0);
  w.B.clear();
  for (int32_t v : L) w.Int(v);
  return w.B;
}

TIEImagingObject* AddLine(TIEImagingAnnot& A, int32_t Type, std::vector<TPoint> Pts) {
  TIEImagingObject* o = A.AddObject();
  o->SetAnnotType(Type);
  o->SetBounds(TRect{10, 20, 110, 220});
  o->SetColor1(TColor(0x00336699));
  o->SetColor2(TColor(0x00FF0000));
  o->SetLineWidth(3);
  o->SetHighlighting(true);
  o->Points = std::move(Pts);
  return o;
}

}  // namespace

TEST(ImagingAnnot, NoAnnotationsWriteNoData) {
  TIEImagingAnnot a;
  std::unique_ptr<uint8_t[]> d(new uint8_t[1]);
  int32_t n = 99;
  a.SaveToTagData(d, n);
  EXPECT_EQ(d, nullptr);
  EXPECT_EQ(n, 0);
}

TEST(ImagingAnnot, WrittenLayoutStartsWithHeaderAndDefaultBlocks) {
  TIEImagingAnnot a;
  AddLine(a, ieaStraightLine, {{0, 0}, {100, 200}});
  const Bytes b = Save(a);
  const Bytes expectedStart = TagWriter(1)
                                  .Block(2, "OiGroup", {'0', 0})
                                  .Block(2, "OiIndex", {'1', 0})
                                  .Int(5)
                                  .Int(164)
                                  .B;
  ASSERT_GT(b.size(), expectedStart.size() + 164);
  EXPECT_EQ(Bytes(b.begin(), b.begin() + expectedStart.size()), expectedStart);
  // Then the line's block with the point count twice, and the object's group
  // and index blocks.
  const size_t ano = Find(b, "OiAnoDat");
  ASSERT_NE(ano, std::string::npos);
  EXPECT_EQ(LE32(b, ano - 8), 6);
  EXPECT_EQ(LE32(b, ano + 8), 8 + 2 * 8);
  EXPECT_EQ(LE32(b, ano + 12), 2);
  EXPECT_EQ(LE32(b, ano + 16), 2);
  const size_t idx = Find(b, "OiIndex", ano);
  ASSERT_NE(idx, std::string::npos);
  EXPECT_EQ(LE32(b, idx + 8), 2);
  EXPECT_EQ(b[idx + 12], '0');
  EXPECT_EQ(idx + 14, b.size());
}

TEST(ImagingAnnot, RoundTripKeepsEveryKind) {
  TIEImagingAnnot a;
  AddLine(a, ieaStraightLine, {{0, 0}, {100, 200}});
  AddLine(a, ieaFreehandLine, {{1, 2}, {3, 4}, {5, 6}, {-7, 8}});
  TIEImagingObject* rect = a.AddObject();
  rect->SetAnnotType(ieaFilledRect);
  rect->SetBounds(TRect{1, 2, 3, 4});
  rect->Attributes[163] = 0x5A;  // bytes this system does not read are kept
  TIEImagingObject* text = a.AddObject();
  text->SetAnnotType(ieaTypedText);
  LOGFONT lf;
  lf.lfHeight = -40;
  lf.lfWeight = 700;
  lf.lfItalic = 1;
  std::strcpy(lf.lfFaceName, "Arial");
  text->SetLogFont(lf);
  text->Text = "Approved\r\nby fax";
  TIEImagingObject* note = a.AddObject();
  note->SetAnnotType(ieaAttachANote);
  note->SetLogFont(lf);
  note->Text = "";
  TIEImagingObject* other = a.AddObject();
  other->SetAnnotType(12);  // no block of its own, stays in the list

  TIEImagingAnnot b;
  b.SetModified(true);
  Load(b, Save(a));
  EXPECT_FALSE(b.GetModified());
  ASSERT_EQ(b.GetCount(), a.GetCount());
  for (int32_t i = 0; i < a.GetCount(); ++i) {
    SCOPED_TRACE(i);
    const TIEImagingObject* x = a.GetObject(i);
    const TIEImagingObject* y = b.GetObject(i);
    EXPECT_EQ(y->GetAnnotType(), x->GetAnnotType());
    EXPECT_EQ(y->GetBounds(), x->GetBounds());
    EXPECT_EQ(y->GetColor1(), x->GetColor1());
    EXPECT_EQ(y->GetColor2(), x->GetColor2());
    EXPECT_EQ(y->GetLineWidth(), x->GetLineWidth());
    EXPECT_EQ(y->GetHighlighting(), x->GetHighlighting());
    EXPECT_EQ(y->Points, x->Points);
    EXPECT_EQ(y->Text, x->Text);
  }
  EXPECT_EQ(b.GetObject(2)->Attributes[163], 0x5A);
  EXPECT_EQ(b.GetObject(0)->GetColor1(), TColor(0x00336699));
  // Scale 7500 both ways: only the truncation of 1000 / 7500 x -40 shows.
  const LOGFONT back = b.GetObject(3)->GetLogFont();
  EXPECT_EQ(back.lfHeight, -37);
  EXPECT_EQ(back.lfWeight, 700);
  EXPECT_EQ(back.lfItalic, 1);
  EXPECT_STREQ(back.lfFaceName, "Arial");
  // The colours lie blue, green, red, 0 in the record.
  const uint8_t* c1 = a.GetObject(0)->Attributes + 20;
  EXPECT_EQ(Bytes(c1, c1 + 4), (Bytes{0x33, 0x66, 0x99, 0}));

  // A copy is deep.
  TIEImagingAnnot c;
  c.Assign(&b);
  b.GetObject(1)->Points[0].X = 999;
  b.Clear();
  ASSERT_EQ(c.GetCount(), a.GetCount());
  EXPECT_EQ(c.GetObject(1)->Points, a.GetObject(1)->Points);
  c.Assign(nullptr);
  EXPECT_EQ(c.GetCount(), 0);
}

TEST(ImagingAnnot, EmbeddedImagesTravelAsDIBsAt200PixelsPerInch) {
  struct Case {
    TIEPixelFormat Format;
    TIEPixelFormat ReadBack;
  } cases[] = {{ie1g, ie1g}, {ie8g, ie8g}, {ie8p, ie8p}, {ie24RGB, ie24RGB}, {ie16g, ie24RGB}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.Format));
    TIEImagingAnnot a;
    TIEImagingObject* o = a.AddObject();
    o->SetAnnotType(ieaImageEmbedded);
    o->Image = std::make_unique<TIEBitmap>(13, 5, c.Format);
    TIEBitmap& img = *o->Image;
    img.Fill(0);
    if (c.Format == ie8p)
      for (int i = 0; i < 256; ++i) img.SetPaletteColor(i, TRGB{uint8_t(i), uint8_t(255 - i), 7});
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 13; ++x) {
        const int v = (x * 19 + y * 41) & 0xFF;
        switch (c.Format) {
          case ie1g: img.SetPixel8(x, y, (x + y) % 3 == 0); break;
          case ie8g: case ie8p: img.SetPixel8(x, y, uint8_t(v)); break;
          case ie16g: img.SetPixel16(x, y, uint16_t(v * 257)); break;
          default: img.SetPixel24(x, y, TRGB{uint8_t(v), uint8_t(x), uint8_t(y)}); break;
        }
      }
    const Bytes data = Save(a);
    const size_t dib = Find(data, "OiDIB");
    ASSERT_NE(dib, std::string::npos);
    EXPECT_EQ(LE32(data, dib + 12), 40);
    EXPECT_EQ(LE32(data, dib + 12 + 24), 7874);
    EXPECT_EQ(LE32(data, dib + 12 + 28), 7874);
    const size_t ano = Find(data, "OiAnoDat");
    ASSERT_NE(ano, std::string::npos);
    EXPECT_EQ(LE32(data, ano + 8), 56);

    TIEImagingAnnot b;
    Load(b, data);
    ASSERT_EQ(b.GetCount(), 1);
    TIEBitmap* r = b.GetObject(0)->Image.get();
    ASSERT_NE(r, nullptr);
    ASSERT_EQ(r->GetPixelFormat(), c.ReadBack);
    ASSERT_EQ(r->GetWidth(), 13);
    ASSERT_EQ(r->GetHeight(), 5);
    for (int32_t y = 0; y < 5; ++y)
      for (int32_t x = 0; x < 13; ++x) ASSERT_EQ(r->GetPixelRGB(x, y), img.GetPixelRGB(x, y)) << x << "," << y;
  }
}

TEST(ImagingAnnot, ReadsTheOlderLayoutAndPassesOverUnknownParts) {
  // Format 0: four more bytes after each block size; an unknown block name,
  // an unknown record type with a payload, a default block, and a text with
  // scale 0 (taken as 7500).
  TIEImagingObject textAttr;
  textAttr.SetAnnotType(ieaTextStamp);
  LOGFONT lf;
  lf.lfHeight = -75;
  textAttr.SetLogFont(lf);
  TagWriter w(0);
  w.Block(2, "OiGroup", {'7', 0})
      .Annotation(ieaFreehandLine, TRect{5, 6, 50, 60})
      .Block(6, "OiOther", {1, 2, 3, 4, 5})
      .Block(6, "OiAnoDat", Ints({3, 3, 1, 1, 2, 2, 3, 3}))
      .Int(42)
      .Int(6)
      .Raw({9, 9, 9, 9, 9, 9})
      .Int(5)
      .Int(164)
      .Raw(Bytes(textAttr.Attributes, textAttr.Attributes + 164))
      .Block(6, "OiAnText", [] {
        Bytes t = Ints({0, 1000, 0, 5});
        for (char ch : std::string("Stamp")) t.push_back(uint8_t(ch));
        t.push_back(0);
        return t;
      }());
  TIEImagingAnnot a;
  Load(a, w.B);
  ASSERT_EQ(a.GetCount(), 2);
  EXPECT_EQ(a.GetObject(0)->GetBounds(), (TRect{5, 6, 50, 60}));
  EXPECT_EQ(a.GetObject(0)->Points, (std::vector<TPoint>{{1, 1}, {2, 2}, {3, 3}}));
  EXPECT_EQ(a.GetObject(1)->Text, "Stamp");
  EXPECT_EQ(a.GetObject(1)->GetLogFont().lfHeight, -75);
  // Loading adds to what is there; length 0 does nothing.
  Load(a, w.B);
  EXPECT_EQ(a.GetCount(), 4);
  a.SetModified(true);
  a.LoadFromTagData(w.B.data(), 0);
  EXPECT_EQ(a.GetCount(), 4);
  EXPECT_TRUE(a.GetModified());
}

TEST(ImagingAnnot, DamagedDataNeverReadsOutsideIt) {
  // A point count far beyond the block, a block size beyond the data, and a
  // negative record size: nothing is read from outside, nothing huge made.
  const struct {
    const char* Name;
    Bytes Data;
    int32_t Count;
  } cases[] = {
      {"huge point count", TagWriter(1).Annotation(3, {}).Block(6, "OiAnoDat", Ints({0x7FFFFFFF, 0x7FFFFFFF, 1, 1})).B, 1},
      {"negative point count", TagWriter(1).Annotation(3, {}).Block(6, "OiAnoDat", Ints({-1, -1})).B, 1},
      {"block beyond the data", [] {
         Bytes b = TagWriter(1).Annotation(4, {}).Block(6, "OiAnoDat", Ints({1, 1, 2, 2})).B;
         b[b.size() - 20] = 0xFF;  // the block's size
         return b;
       }(), 1},
      {"negative record size", TagWriter(1).Annotation(3, {}).Int(9).Int(-100).Annotation(4, {}).B, 1},
      {"attributes cut short", [] {
         Bytes b = TagWriter(1).Annotation(3, {}).Annotation(5, {}).B;
         b.resize(b.size() - 10);
         return b;
       }(), 1},
      {"text without its zero", TagWriter(1).Annotation(7, {}).Block(6, "OiAnText", Ints({0, 1000, 1, 99, 0x41414141})).B, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TIEImagingAnnot a;
    Load(a, c.Data);
    EXPECT_EQ(a.GetCount(), c.Count);
    EXPECT_TRUE(a.GetObject(0)->Points.empty());
  }

  // A text height far beyond the Integer range at a tiny scale saturates.
  for (const int32_t height : {INT32_MAX, INT32_MIN}) {
    TIEImagingObject attr;
    attr.SetAnnotType(ieaTypedText);
    LOGFONT lf;
    lf.lfHeight = height;
    attr.SetLogFont(lf);
    TagWriter w(1);
    w.Int(5).Int(164).Raw(Bytes(attr.Attributes, attr.Attributes + 164));
    w.Block(6, "OiAnText", Ints({0, 1000, 1, 1, 0x41}));
    TIEImagingAnnot a;
    Load(a, w.B);
    ASSERT_EQ(a.GetCount(), 1);
    EXPECT_EQ(a.GetObject(0)->GetLogFont().lfHeight, height);
  }

  // Every truncation and random damage of a full save.
  TIEImagingAnnot full;
  AddLine(full, ieaFreehandLine, {{1, 2}, {3, 4}});
  TIEImagingObject* t = full.AddObject();
  t->SetAnnotType(ieaTypedText);
  t->Text = "hello";
  TIEImagingObject* im = full.AddObject();
  im->SetAnnotType(ieaImageEmbedded);
  im->Image = std::make_unique<TIEBitmap>(9, 4, ie8g);
  im->Image->Fill(100);
  const Bytes good = Save(full);
  for (size_t len = 1; len < good.size(); ++len) {
    TIEImagingAnnot a;
    a.LoadFromTagData(good.data(), int32_t(len));
    ASSERT_LE(a.GetCount(), 3);
  }
  std::mt19937 rng(99);
  for (int round = 0; round < 2000; ++round) {
    Bytes b = good;
    for (int h = 1 + int(rng() % 6); h > 0; --h) b[rng() % b.size()] = uint8_t(rng());
    TIEImagingAnnot a;
    Load(a, b);
    // Every object comes from a 164-byte record inside the data.
    ASSERT_LE(a.GetCount(), int32_t(b.size() / 172));
  }
}
