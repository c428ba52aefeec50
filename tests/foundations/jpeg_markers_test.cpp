// JPEG marker list: editing, copying, the writer's marker order, and the EXIF
// header test.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundations/jpeg_markers.h"
#include "platform/rtl/sysutils.h"

namespace {

void Add(TIEMarkerList& L, uint8_t Type, const std::string& Data) {
  L.AddMarker(Type, Data.data(), static_cast<uint16_t>(Data.size()));
}

std::string DataOf(const TIEMarkerList& L, int32_t I) {
  return std::string(reinterpret_cast<const char*>(L.GetMarkerData(I)), L.GetMarkerLength(I));
}

std::string IccChunk(uint8_t Seq) { return std::string("ICC_PROFILE\0", 12) + char(Seq) + char(3) + "data"; }

}  // namespace

TEST(JpegMarkers, EditingKeepsTypesAndCopies) {
  TIEMarkerList L;
  std::string Buf = "hello";
  Add(L, IEJPEG_APP0, Buf);
  Buf[0] = 'j';  // the list holds its own copy
  Add(L, IEJPEG_COM, "comment");
  Add(L, IEJPEG_APP13, "");
  ASSERT_EQ(L.GetCount(), 3);
  EXPECT_EQ(DataOf(L, 0), "hello");
  EXPECT_EQ(L.GetMarkerLength(2), 0);
  EXPECT_EQ(L.IndexOf(IEJPEG_COM), 1);
  EXPECT_EQ(L.IndexOf(IEJPEG_APP1), -1);

  L.SetMarker(1, IEJPEG_APP1, "Exif\0\0", 6);
  EXPECT_EQ(L.GetMarkerType(1), IEJPEG_APP1);
  EXPECT_EQ(L.GetMarkerLength(1), 6);
  L.DeleteMarker(0);
  EXPECT_EQ(L.GetCount(), 2);
  EXPECT_EQ(L.GetMarkerType(0), IEJPEG_APP1);

  TIEMarkerList Copy;
  Add(Copy, IEJPEG_APP2, "old");
  Copy.Assign(&L);
  ASSERT_EQ(Copy.GetCount(), 2);
  EXPECT_EQ(DataOf(Copy, 0), DataOf(L, 0));
  EXPECT_NE(Copy.GetMarkerData(0), L.GetMarkerData(0));
  Copy.Assign(nullptr);
  EXPECT_EQ(Copy.GetCount(), 2);

  // The largest marker the codec delivers fits.
  std::vector<uint8_t> Big(65535, 7);
  L.AddMarker(IEJPEG_APP2, Big.data(), 65535);
  EXPECT_EQ(L.GetMarkerLength(2), 65535);
  L.Clear();
  EXPECT_EQ(L.GetCount(), 0);
}

TEST(JpegMarkers, BadIndexRaisesListError) {
  TIEMarkerList L;
  Add(L, IEJPEG_APP0, "x");
  EXPECT_THROW(L.GetMarkerData(1), EListError);
  EXPECT_THROW(L.GetMarkerType(-1), EListError);
  EXPECT_THROW(L.DeleteMarker(5), EListError);
  EXPECT_THROW(L.SetMarker(1, IEJPEG_APP0, "y", 1), EListError);
}

TEST(JpegMarkers, SortPutsExifFirstAmongApp1AndIccChunksInSequence) {
  {
    TIEMarkerList L;
    Add(L, IEJPEG_APP1, std::string("http://ns.adobe.com/xap/1.0/\0<x/>", 33));
    Add(L, IEJPEG_APP0, "JFIF");
    Add(L, IEJPEG_APP1, std::string("Exif\0\0II*\0", 10));
    L.SortMarkers();
    ASSERT_EQ(L.GetCount(), 3);
    EXPECT_EQ(L.GetMarkerType(0), IEJPEG_APP0);
    EXPECT_EQ(L.GetMarkerType(1), IEJPEG_APP1);
    EXPECT_TRUE(IEIsExifHeader(L.GetMarkerData(1), L.GetMarkerLength(1)));
    EXPECT_EQ(L.GetMarkerType(2), IEJPEG_APP1);
    EXPECT_FALSE(IEIsExifHeader(L.GetMarkerData(2), L.GetMarkerLength(2)));
  }
  {
    TIEMarkerList L;
    Add(L, IEJPEG_COM, "c");
    Add(L, IEJPEG_APP2, IccChunk(3));
    Add(L, IEJPEG_APP2, IccChunk(1));
    Add(L, IEJPEG_APP0, "JFIF");
    Add(L, IEJPEG_APP2, IccChunk(2));
    L.SortMarkers();
    const std::vector<uint8_t> Types = {IEJPEG_APP0, IEJPEG_APP2, IEJPEG_APP2, IEJPEG_APP2, IEJPEG_COM};
    for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(L.GetMarkerType(i), Types[i]) << i;
    for (int32_t i = 1; i <= 3; ++i) EXPECT_EQ(L.GetMarkerData(i)[12], i);
  }
  TIEMarkerList Empty;
  Empty.SortMarkers();
  EXPECT_EQ(Empty.GetCount(), 0);
}

TEST(JpegMarkers, ExifHeaderTest) {
  struct Case {
    std::string Data;
    bool Expected;
  };
  const Case Cases[] = {
      {std::string("Exif\0\0MM", 8), true},
      {std::string("Exif\0", 5), true},
      {std::string("Exif\x01\0", 6), false},
      {std::string("exif\0\0", 6), false},
      {std::string("Exif", 4), false},  // no room for the zero
      {std::string(), false},
  };
  for (const Case& C : Cases) EXPECT_EQ(IEIsExifHeader(C.Data.data(), C.Data.size()), C.Expected) << C.Data;
  EXPECT_FALSE(IEIsExifHeader(nullptr, 10));
}
