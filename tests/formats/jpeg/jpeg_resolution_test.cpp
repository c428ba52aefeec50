#include <gtest/gtest.h>

#include <vector>

#include "foundations/jpeg_markers.h"
#include "formats/jpeg/jpeg_resolution.h"

namespace {

// An APP13 body: "Photoshop 3.0\0", then one 8BIM resource 1005 with the
// given Pascal name and a resolution record of 16 bytes of 0xAA.
std::vector<uint8_t> App13(const std::string& Name, uint32_t Size = 16, size_t DataBytes = 16) {
  std::vector<uint8_t> b;
  for (char c : std::string("Photoshop 3.0")) b.push_back(uint8_t(c));
  b.push_back(0);
  for (uint8_t c : std::initializer_list<uint8_t>{'8', 'B', 'I', 'M', 0x03, 0xED}) b.push_back(c);
  b.push_back(uint8_t(Name.size()));
  for (char c : Name) b.push_back(uint8_t(c));
  if ((1 + Name.size()) & 1) b.push_back(0);
  b.push_back(uint8_t(Size >> 24));
  b.push_back(uint8_t(Size >> 16));
  b.push_back(uint8_t(Size >> 8));
  b.push_back(uint8_t(Size));
  for (size_t i = 0; i < DataBytes; ++i) b.push_back(0xAA);
  return b;
}

std::vector<uint8_t> MarkerBytes(const TIEMarkerList& L, int32_t i) {
  const uint8_t* d = L.GetMarkerData(i);
  return std::vector<uint8_t>(d, d + L.GetMarkerLength(i));
}

}  // namespace

TEST(JpegResolutionResource, WritesBothResolutionsAfterThePascalName) {
  // Names of even and odd length exercise the pad byte.
  for (const std::string Name : {"", "a", "ab", "Resolution"}) {
    TIEMarkerList L;
    const auto body = App13(Name);
    L.AddMarker(0xED, body.data(), uint16_t(body.size()));
    ASSERT_TRUE(IEUpdateJpegResolutionResource(L, 200, 300)) << Name;
    const auto out = MarkerBytes(L, 0);
    const size_t at = body.size() - 16;
    const std::vector<uint8_t> want = {0x00, 0xC8, 0, 0, 0, 1, 0, 1, 0x01, 0x2C, 0, 0, 0, 1, 0, 1};
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + at, out.end()), want) << Name;
    EXPECT_TRUE(std::equal(body.begin(), body.begin() + at, out.begin())) << Name;
  }
}

TEST(JpegResolutionResource, DamagedOrMissingResourcesAreLeftAlone) {
  struct Case {
    const char* what;
    std::vector<uint8_t> body;
  };
  auto longName = App13(std::string(40, 'n'));
  longName.resize(14 + 6 + 1 + 10);  // the name runs past the marker
  std::vector<uint8_t> noResource(30, 0x11);
  const Case cases[] = {
      {"resource smaller than 16 bytes", App13("", 8)},
      {"declared 16 but the marker ends early", App13("", 16, 10)},
      {"name runs past the marker", longName},
      {"no resolution resource", noResource},
      {"signature at the very end", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, '8', 'B', 'I', 'M', 0x03, 0xED}},
  };
  for (const auto& c : cases) {
    TIEMarkerList L;
    L.AddMarker(0xED, c.body.data(), uint16_t(c.body.size()));
    EXPECT_FALSE(IEUpdateJpegResolutionResource(L, 72, 72)) << c.what;
    EXPECT_EQ(MarkerBytes(L, 0), c.body) << c.what;
  }
  TIEMarkerList Empty;
  EXPECT_FALSE(IEUpdateJpegResolutionResource(Empty, 72, 72));
}
