// IPTC record list: the encoded block byte for byte, reading it back, and
// damaged blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "foundations/iptc.h"
#include "platform/rtl/sysutils.h"

namespace {

std::vector<uint8_t> Save(const TIEIPTCInfoList& L, bool Photoshop) {
  std::unique_ptr<uint8_t[]> B;
  int32_t Size = -1;
  L.SaveToBuffer(B, Size, Photoshop);
  return Size > 0 ? std::vector<uint8_t>(B.get(), B.get() + Size) : std::vector<uint8_t>();
}

std::vector<uint8_t> Bytes(std::initializer_list<int> L) { return std::vector<uint8_t>(L.begin(), L.end()); }

std::string DataOf(const TIEIPTCInfoList& L, int32_t I) {
  return std::string(reinterpret_cast<const char*>(L.GetData(I)), L.GetDataLength(I));
}

}  // namespace

TEST(Iptc, EncodesOneRecordWithAndWithoutPhotoshopHeader) {
  TIEIPTCInfoList L;
  EXPECT_FALSE(L.GetUserChanged());
  EXPECT_EQ(L.AddData(2, 120, 3, "abc"), 0);
  EXPECT_TRUE(L.GetUserChanged());

  EXPECT_EQ(Save(L, false), Bytes({0x1C, 2, 0, 0, 2, 0, 2, 0x1C, 2, 0x78, 0, 3, 'a', 'b', 'c', 0}));

  const std::vector<uint8_t> P = Save(L, true);
  ASSERT_EQ(P.size(), 34u);
  EXPECT_EQ(std::string(P.begin(), P.begin() + 14), std::string("Photoshop 3.0\0", 14));
  EXPECT_EQ(std::vector<uint8_t>(P.begin() + 14, P.begin() + 26),
            Bytes({'8', 'B', 'I', 'M', 4, 4, 0, 0, 0, 0, 0, 8}));
  EXPECT_EQ(std::vector<uint8_t>(P.begin() + 26, P.end()), Bytes({0x1C, 2, 0x78, 0, 3, 'a', 'b', 'c'}));

  TIEIPTCInfoList Empty;
  std::unique_ptr<uint8_t[]> B(new uint8_t[1]);
  int32_t Size = 5;
  Empty.SaveToBuffer(B, Size, true);
  EXPECT_EQ(B, nullptr);
  EXPECT_EQ(Size, 0);
}

TEST(Iptc, SkipsRecordVersionAndEmptyRecordsAndPadsTheSizeField) {
  TIEIPTCInfoList L;
  L.AddData(2, 0, 2, "\0\4");
  L.AddData(2, 25, 0, nullptr);
  L.AddData(2, 25, 4, "word");
  const std::vector<uint8_t> P = Save(L, true);
  // 26 + 9 bytes, padded to 36; the size field counts only the dataset.
  ASSERT_EQ(P.size(), 36u);
  EXPECT_EQ(P[25], 9);
  EXPECT_EQ(P[26 + 9], 0);
  TIEIPTCInfoList R;
  ASSERT_TRUE(R.LoadFromBuffer(P.data(), int32_t(P.size())));
  ASSERT_EQ(R.GetCount(), 1);
  EXPECT_EQ(R.GetDataSet(0), 25);
  EXPECT_EQ(DataOf(R, 0), "word");
}

TEST(Iptc, RoundTripsShortAndExtendedLengths) {
  TIEIPTCInfoList L;
  std::string Long(40000, 'x');
  Long[39999] = 'y';
  L.AddData(2, 120, 3, "abc");
  L.AddData(2, 202, int32_t(Long.size()), Long.data());
  L.AddData(1, 90, 3, "\x1B%G");
  for (bool Photoshop : {false, true}) {
    const std::vector<uint8_t> P = Save(L, Photoshop);
    const size_t Ext = (Photoshop ? 26 : 7) + 8;
    EXPECT_EQ(std::vector<uint8_t>(P.begin() + Ext, P.begin() + Ext + 9),
              Bytes({0x1C, 2, 202, 0x80, 0x04, 0, 0, 0x9C, 0x40}));
    TIEIPTCInfoList R;
    R.AddData(9, 9, 1, "z");
    ASSERT_TRUE(R.LoadFromBuffer(P.data(), int32_t(P.size())));
    EXPECT_FALSE(R.GetUserChanged());
    // Without the Photoshop header the record-version dataset comes back too.
    const int32_t First = Photoshop ? 0 : 1;
    ASSERT_EQ(R.GetCount(), First + 3);
    if (!Photoshop) {
      EXPECT_EQ(R.GetDataSet(0), 0);
    }
    EXPECT_EQ(DataOf(R, First), "abc");
    EXPECT_EQ(R.GetDataLength(First + 1), 40000);
    EXPECT_EQ(DataOf(R, First + 1), Long);
    EXPECT_EQ(R.GetRecordNumber(First + 2), 1);
    EXPECT_EQ(DataOf(R, First + 2), "\x1B%G");
  }
}

TEST(Iptc, AssignAndClearMarkTheListChanged) {
  TIEIPTCInfoList A, B;
  A.AddData(2, 5, 5, "title");
  const std::vector<uint8_t> P = Save(A, false);
  ASSERT_TRUE(B.LoadFromBuffer(P.data(), int32_t(P.size())));
  EXPECT_FALSE(B.GetUserChanged());
  B.Assign(nullptr);
  EXPECT_FALSE(B.GetUserChanged());
  B.Assign(&A);
  EXPECT_TRUE(B.GetUserChanged());
  ASSERT_EQ(B.GetCount(), 1);
  EXPECT_NE(B.GetData(0), A.GetData(0));
  EXPECT_EQ(DataOf(B, 0), "title");
  EXPECT_THROW(B.GetData(1), EListError);
  EXPECT_FALSE(B.LoadFromBuffer(P.data(), 0));
  EXPECT_EQ(B.GetCount(), 0);
  EXPECT_TRUE(B.GetUserChanged());
}

TEST(Iptc, DamagedBlocksKeepTheRecordsBeforeTheDamage) {
  struct Case {
    const char* Name;
    std::vector<uint8_t> Block;
    int32_t Records;
  };
  const Case Cases[] = {
      {"last dataset announces more than remains",
       Bytes({0x1C, 2, 5, 0, 2, 'h', 'i', 0x1C, 2, 6, 0, 50, 'x'}), 1},
      {"header cut after four bytes", Bytes({0x1C, 2, 5, 0, 2, 'h', 'i', 0x1C, 2, 6, 0}), 1},
      {"extended length cut short", Bytes({0x1C, 2, 5, 0, 1, 'h', 0x1C, 2, 6, 0x80, 4, 0, 0}), 1},
      {"negative extended length", Bytes({0x1C, 2, 5, 0, 1, 'h', 0x1C, 2, 6, 0x80, 4, 0xFF, 0xFF, 0xFF, 0xFE}), 1},
      {"length bytes count 0", Bytes({0x1C, 2, 6, 0x80, 0, 1, 'x'}), 0},
      {"length bytes count 9", Bytes({0x1C, 2, 6, 0x80, 9, 0, 0, 0, 0, 0, 0, 0, 0, 1, 'x'}), 0},
      {"two length bytes", Bytes({0x1C, 2, 6, 0x80, 2, 0, 2, 'o', 'k'}), 1},
      {"fill before the first dataset", Bytes({0, 0, 0x1C, 0x1C, 0x1C, 2, 5, 0, 1, 'h'}), 1},
      {"no dataset at all", Bytes({1, 2, 3, 4, 5, 6, 7, 8}), 0},
      {"Photoshop header without an IPTC resource",
       Bytes({'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3', '.', '0', 0, 0x1C, 2, 5, 0, 1, 'h'}), 0},
  };
  for (const Case& C : Cases) {
    TIEIPTCInfoList L;
    EXPECT_EQ(L.LoadFromBuffer(C.Block.data(), int32_t(C.Block.size())), C.Records > 0) << C.Name;
    EXPECT_EQ(L.GetCount(), C.Records) << C.Name;
  }
}

TEST(Iptc, EveryTruncationAndCorruptionReadsSafely) {
  TIEIPTCInfoList L;
  L.AddData(2, 120, 3, "abc");
  L.AddData(2, 202, 40000, std::string(40000, 'q').data());
  L.AddData(2, 25, 4, "word");
  const std::vector<uint8_t> Good = Save(L, true);
  // Each prefix lives in a block of exactly its size, so that the sanitizers
  // see any read past it.
  for (size_t n = 0; n <= Good.size(); n += (n < 64 || n > Good.size() - 64) ? 1 : 997) {
    std::unique_ptr<uint8_t[]> B(new uint8_t[n + 1]);
    std::memcpy(B.get(), Good.data(), n);
    TIEIPTCInfoList R;
    R.LoadFromBuffer(B.get(), int32_t(n));
    for (int32_t i = 0; i < R.GetCount(); ++i) EXPECT_LE(R.GetDataLength(i), int32_t(n));
  }
  std::mt19937 Rng(7);
  std::vector<uint8_t> Small = Save(L, false);
  Small.resize(64);
  for (int Round = 0; Round < 2000; ++Round) {
    std::vector<uint8_t> B = Small;
    for (int k = 0; k < 4; ++k) B[Rng() % B.size()] = static_cast<uint8_t>(Rng());
    std::unique_ptr<uint8_t[]> Exact(new uint8_t[B.size()]);
    std::memcpy(Exact.get(), B.data(), B.size());
    TIEIPTCInfoList R;
    R.LoadFromBuffer(Exact.get(), int32_t(B.size()));
    for (int32_t i = 0; i < R.GetCount(); ++i) EXPECT_LE(R.GetDataLength(i), 64);
  }
}
