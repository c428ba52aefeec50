// XMP APP1 segments and the DICOM element list.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundations/xmp_dicom_tags.h"
#include "platform/rtl/sysutils.h"

namespace {

const std::string kSig("http://ns.adobe.com/xap/1.0/\0", 29);

std::unique_ptr<uint8_t[]> Block(const std::string& S) {
  std::unique_ptr<uint8_t[]> B(new uint8_t[S.size()]);
  std::memcpy(B.get(), S.data(), S.size());
  return B;
}

}  // namespace

TEST(Xmp, FindsThePacketOnlyInAnXmpSegment) {
  struct Case {
    const char* Name;
    std::string Segment;
    bool Found;
    std::string Packet;
  };
  const Case Cases[] = {
      {"signature only", kSig, false, ""},
      {"one packet byte", kSig + "x", true, "x"},
      {"a packet", kSig + "<x:xmpmeta/>", true, "<x:xmpmeta/>"},
      {"EXIF segment", std::string("Exif\0\0", 6) + std::string(40, 'a'), false, ""},
      {"signature never ends", std::string("http://ns.adobe.com/xap/1.0/-no-zero-anywhere"), false, ""},
      {"other version after 24 characters", std::string("http://ns.adobe.com/xap/2.0/\0<p/>", 33), true, "<p/>"},
  };
  for (const Case& C : Cases) {
    auto B = Block(C.Segment);  // exactly the segment's size
    const uint8_t* P = IEFindXMPPacket(B.get(), int64_t(C.Segment.size()));
    EXPECT_EQ(P != nullptr, C.Found) << C.Name;
    std::string Text = "unchanged";
    EXPECT_EQ(IEReadXMPSegment(B.get(), int64_t(C.Segment.size()), Text), C.Found) << C.Name;
    EXPECT_EQ(Text, C.Found ? C.Packet : std::string("unchanged")) << C.Name;
  }
  EXPECT_EQ(IEFindXMPPacket(nullptr, 100), nullptr);
}

TEST(Xmp, BuildsASegmentThatReadsBack) {
  std::unique_ptr<uint8_t[]> B;
  int32_t Length = 0;
  IEBuildXMPSegment("", B, Length);
  EXPECT_EQ(Length, 29);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(B.get()), 29), kSig);

  const std::string Packet = "<?xpacket begin?><x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/><?xpacket end=\"w\"?>";
  IEBuildXMPSegment(Packet, B, Length);
  ASSERT_EQ(Length, int32_t(Packet.size()) + 29);
  std::string Back;
  ASSERT_TRUE(IEReadXMPSegment(B.get(), Length, Back));
  EXPECT_EQ(Back, Packet);
}

TEST(DicomTags, AddTagStoresVrAndTakesTheData) {
  TIEDICOMTags T;
  std::unique_ptr<uint8_t[]> D(new uint8_t[6]{'A', 'B', 'C', 'D', 'E', 0});
  const uint8_t* Raw = D.get();
  EXPECT_EQ(T.AddTag(0x0010, 0x0010, "PN", std::move(D), 5), 0);
  EXPECT_EQ(T.AddTag(0x0028, 0x0010, "USX", std::unique_ptr<uint8_t[]>(new uint8_t[3]()), 2), 1);
  EXPECT_EQ(T.AddTag(0x7FE0, 0x0010, "OB", std::unique_ptr<uint8_t[]>(new uint8_t[3]()), -1), 2);
  EXPECT_EQ(T.AddTag(0x0008, 0x0016, "", nullptr, 0), 3);
  ASSERT_EQ(T.GetCount(), 4);

  const TIEDICOMTagRec* R = T.GetTag(0);
  EXPECT_EQ(R->Group, 0x0010);
  EXPECT_EQ(std::string(R->VR, 2), "PN");
  EXPECT_EQ(R->Data.get(), Raw);  // taken over, not copied
  EXPECT_EQ(R->Length, 5);
  EXPECT_EQ(std::string(T.GetTag(1)->VR, 2), std::string("\0\0", 2));
  EXPECT_EQ(T.GetTag(2)->Data, nullptr);
  EXPECT_EQ(T.GetTag(2)->Length, 0);
  EXPECT_EQ(std::string(T.GetTag(2)->VR, 2), "OB");
  EXPECT_THROW(T.GetTag(4), EListError);
}

TEST(DicomTags, AssignCopiesValuesWithATerminatingZero) {
  TIEDICOMTags Src;
  // A value block of exactly Length bytes: the copy must not read past it.
  Src.AddTag(0x0010, 0x0020, "LO", std::unique_ptr<uint8_t[]>(new uint8_t[4]{'I', 'D', '4', '2'}), 4);
  Src.AddTag(0x0020, 0x0013, "IS", nullptr, 0);
  TIEDICOMTags Dst;
  Dst.AddTag(1, 2, "XX", nullptr, 0);
  Dst.Assign(&Src);
  ASSERT_EQ(Dst.GetCount(), 2);
  const TIEDICOMTagRec* R = Dst.GetTag(0);
  EXPECT_NE(R->Data.get(), Src.GetTag(0)->Data.get());
  EXPECT_EQ(R->Length, 4);
  EXPECT_STREQ(reinterpret_cast<const char*>(R->Data.get()), "ID42");
  EXPECT_EQ(Dst.GetTag(1)->Data, nullptr);
  Dst.Assign(nullptr);
  EXPECT_EQ(Dst.GetCount(), 2);
  Dst.Clear();
  EXPECT_EQ(Dst.GetCount(), 0);
}
