#pragma once
// Explicit little-endian DICOM data sets built element by element.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace testsupport {

// Explicit little-endian data sets, element by element.
struct TDataSet {
  std::vector<uint8_t> D;
  bool Preamble = true;
  TDataSet() {
    D.assign(128, 0);
    D.insert(D.end(), {'D', 'I', 'C', 'M'});
  }
  void u16(uint16_t v) { D.insert(D.end(), {uint8_t(v), uint8_t(v >> 8)}); }
  void u32(uint32_t v) {
    u16(uint16_t(v));
    u16(uint16_t(v >> 16));
  }
  TDataSet& el(uint16_t g, uint16_t e, const char* vr, const std::vector<uint8_t>& v) {
    u16(g);
    u16(e);
    D.insert(D.end(), {uint8_t(vr[0]), uint8_t(vr[1])});
    static const char* longVR[] = {"OB", "OD", "OF", "OL", "OV", "OW", "SQ",
                                   "SV", "UC", "UN", "UR", "UT", "UV"};
    bool isLong = false;
    for (auto* l : longVR) isLong |= std::strncmp(l, vr, 2) == 0;
    if (isLong) {
      u16(0);
      u32(uint32_t(v.size()));
    } else {
      u16(uint16_t(v.size()));
    }
    D.insert(D.end(), v.begin(), v.end());
    return *this;
  }
  TDataSet& text(uint16_t g, uint16_t e, const char* vr, std::string s) {
    if (s.size() % 2) s.push_back(vr[0] == 'U' && vr[1] == 'I' ? '\0' : ' ');
    return el(g, e, vr, std::vector<uint8_t>(s.begin(), s.end()));
  }
  TDataSet& us(uint16_t g, uint16_t e, uint16_t v) { return el(g, e, "US", {uint8_t(v), uint8_t(v >> 8)}); }
  TDataSet& image(int32_t W, int32_t H, int32_t Alloc, int32_t Stored, const char* Photometric,
                  int32_t Frames = 1) {
    us(0x0028, 0x0002, 1);
    text(0x0028, 0x0004, "CS", Photometric);
    if (Frames > 1) text(0x0028, 0x0008, "IS", std::to_string(Frames));
    us(0x0028, 0x0010, uint16_t(H));
    us(0x0028, 0x0011, uint16_t(W));
    us(0x0028, 0x0100, uint16_t(Alloc));
    us(0x0028, 0x0101, uint16_t(Stored));
    return us(0x0028, 0x0103, 0);
  }
  TDataSet& syntax(const std::string& Ts) { return text(0x0002, 0x0010, "UI", Ts); }
};

}  // namespace testsupport
