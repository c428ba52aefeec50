// Base64, ASCII85 and run-length text, decoded by Python and Ghostscript.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "foundations/text_encodings.h"
#include "platform/rtl/streams.h"
#include "support/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
const char* const kPython = "/usr/bin/python3";

std::string Base64Lines(const Bytes& Data, int32_t LineLength) {
  TMemoryStream src;
  if (!Data.empty()) src.WriteBuffer(Data.data(), static_cast<int64_t>(Data.size()));
  src.Seek(0, soBeginning);
  TStringStream out;
  IEWriteBase64Lines(&src, &out, LineLength);
  return out.GetDataString();
}

std::string ASCII85(const Bytes& Data, int32_t* Counter = nullptr) {
  std::vector<uint8_t> out(static_cast<size_t>(IEEncodeASCII85Bound(static_cast<int32_t>(Data.size()))));
  const uint8_t* in = Data.data();
  uint8_t* o = out.data();
  int32_t counter = 0;
  int32_t n = IEEncodeASCII85(in, static_cast<int32_t>(Data.size()), o, counter);
  EXPECT_EQ(in, Data.data() + Data.size());
  EXPECT_EQ(o, out.data() + n);
  if (Counter) *Counter = counter;
  return std::string(out.begin(), out.begin() + n);
}

Bytes RunLength(const Bytes& Data) {
  const int32_t len = static_cast<int32_t>(Data.size());
  // Guard bytes after the documented bound catch any overrun.
  Bytes out(static_cast<size_t>(IERunLengthEncodeBound(len)) + 16, 0xCD);
  int32_t n = IERunLengthEncode(Data.data(), len, out.data());
  EXPECT_LE(n, IERunLengthEncodeBound(len));
  for (size_t i = static_cast<size_t>(IERunLengthEncodeBound(len)); i < out.size(); ++i)
    EXPECT_EQ(out[i], 0xCD);
  out.resize(static_cast<size_t>(n));
  return out;
}

// The decoding rule of RunLengthDecode, for checks in the test itself.
Bytes RunLengthDecode(const Bytes& Code) {
  Bytes out;
  size_t i = 0;
  while (i < Code.size() && Code[i] != 128) {
    uint8_t c = Code[i++];
    if (c < 128) {
      out.insert(out.end(), Code.begin() + i, Code.begin() + i + c + 1);
      i += c + 1;
    } else {
      out.insert(out.end(), 257 - c, Code[i++]);
    }
  }
  EXPECT_EQ(i + 1, Code.size()) << "end code missing or not last";
  return out;
}

Bytes Noise(size_t Size, uint32_t Seed) {
  std::mt19937 gen(Seed);
  Bytes d(Size);
  for (auto& b : d) b = static_cast<uint8_t>(gen() % 4 == 0 ? 0 : gen());
  return d;
}

TEST(Base64Lines, GroupsPaddingAndLines) {
  EXPECT_EQ(Base64Lines({'a', 'b', 'c'}, 76), "YWJj\r\n");
  EXPECT_EQ(Base64Lines({'a', 'b'}, 76), "YWI=\r\n");
  EXPECT_EQ(Base64Lines({'a'}, 76), "YQ==\r\n");
  EXPECT_EQ(Base64Lines({}, 76), "");
  EXPECT_EQ(Base64Lines(Bytes(57 * 2, 0xFF), 76),
            std::string(76, '/') + "\r\n" + std::string(76, '/') + "\r\n");  // no empty last line
  EXPECT_EQ(Base64Lines({0xFB, 0xEF, 0xBE}, 8), "++++\r\n");
}

TEST(Base64Lines, PythonDecodesIt) {
  if (!testsupport::HaveTool(kPython)) GTEST_SKIP() << "no python3";
  testsupport::TempDir dir;
  const Bytes data = Noise(10001, 4);
  const std::string text = Base64Lines(data, 76);
  testsupport::WriteFileBytes(dir.file("b64"), Bytes(text.begin(), text.end()));
  testsupport::WriteFileBytes(dir.file("plain"), data);
  std::string out;
  ASSERT_EQ(testsupport::RunCommand(std::string(kPython) +
                                        " -c \"import base64,sys; t=open(sys.argv[1],'rb').read();"
                                        " ls=t.split(b'\\r\\n'); assert ls[-1]==b'';"
                                        " assert all(len(l)==76 for l in ls[:-2]);"
                                        " print(base64.b64decode(t)==open(sys.argv[2],'rb').read())\" " +
                                        dir.file("b64") + " " + dir.file("plain"),
                                    &out),
            0);
  EXPECT_EQ(out, "True\n");
}

TEST(ASCII85, GroupsZerosAndLines) {
  int32_t counter = 0;
  EXPECT_EQ(ASCII85({0, 0, 0, 0}, &counter), "z~>\r\n");
  EXPECT_EQ(counter, 1);
  EXPECT_EQ(ASCII85({}), "~>\r\n");
  EXPECT_EQ(ASCII85({0, 0}), "!!!~>\r\n");  // a short zero group is not "z"
  EXPECT_EQ(ASCII85({'H', 'e', 'l', 'l', 'o'}), "87cURDZ~>\r\n");
  // 16 full groups: a break once a line holds more than 74 characters.
  const std::string lines = ASCII85(Bytes(64, 0xFF), &counter);
  EXPECT_EQ(counter, 80);
  std::string first;
  for (int i = 0; i < 15; ++i) first += "s8W-!";
  EXPECT_EQ(lines, first + "\r\n" + "s8W-!" + "~>\r\n");
}

TEST(ASCII85, PythonDecodesIt) {
  if (!testsupport::HaveTool(kPython)) GTEST_SKIP() << "no python3";
  testsupport::TempDir dir;
  const Bytes data = Noise(5003, 8);
  const std::string text = ASCII85(data);
  testsupport::WriteFileBytes(dir.file("a85"), Bytes(text.begin(), text.end()));
  testsupport::WriteFileBytes(dir.file("plain"), data);
  std::string out;
  ASSERT_EQ(testsupport::RunCommand(std::string(kPython) +
                                        " -c \"import base64,sys; t=open(sys.argv[1],'rb').read();"
                                        " print(max(len(l) for l in t.split(b'\\r\\n')) <= 79,"
                                        " base64.a85decode(b'<~'+t.strip(), adobe=True)==open(sys.argv[2],'rb').read())\" " +
                                        dir.file("a85") + " " + dir.file("plain"),
                                    &out),
            0);
  EXPECT_EQ(out, "True True\n");
}

TEST(RunLength, PacketsAndTheOutputBound) {
  EXPECT_EQ(RunLength({7, 7, 7, 7, 7}), (Bytes{252, 7, 128}));
  EXPECT_EQ(RunLength({}), (Bytes{128}));
  EXPECT_EQ(RunLength({1, 2, 3}), (Bytes{2, 1, 2, 3, 128}));
  EXPECT_EQ(RunLength(Bytes(130, 9)), (Bytes{129, 9, 255, 9, 128}));
  EXPECT_EQ(RunLength({1, 2, 2, 2}), (Bytes{0, 1, 254, 2, 128}));

  // Every byte string over a small alphabet up to 12 bytes, then patterns
  // that defeat naive literal rules: each must decode back and stay within
  // Length + Length / 128 + 2.
  for (int len = 0; len <= 12; ++len) {
    for (uint32_t code = 0; code < (1u << len); ++code) {
      Bytes d(static_cast<size_t>(len));
      for (int i = 0; i < len; ++i) d[static_cast<size_t>(i)] = (code >> i) & 1;
      ASSERT_EQ(RunLengthDecode(RunLength(d)), d);
    }
  }
  std::vector<std::function<uint8_t(size_t)>> patterns = {
      [](size_t i) { return static_cast<uint8_t>(i % 3 == 0 ? 1 : 2); },       // A B B
      [](size_t i) { return static_cast<uint8_t>((i / 2) % 2); },              // A A B B
      [](size_t i) { return static_cast<uint8_t>(i % 5 < 3 ? 0 : i); },        // runs of 3
      [](size_t i) { return static_cast<uint8_t>(i * 37); },                   // no repeats
      [](size_t i) { return static_cast<uint8_t>(i % 131 == 0 ? 1 : 0); },     // long runs
  };
  for (auto& p : patterns) {
    for (size_t len : {1u, 2u, 127u, 128u, 129u, 1000u, 65537u}) {
      Bytes d(len);
      for (size_t i = 0; i < len; ++i) d[i] = p(i);
      ASSERT_EQ(RunLengthDecode(RunLength(d)), d);
    }
  }
}

// The PostScript writer's chain: run-length code, then ASCII85, read back by
// Ghostscript's own decoding filters.
TEST(RunLength, GhostscriptDecodesTheWritersChain) {
  if (!testsupport::HaveTool("gs")) GTEST_SKIP() << "no Ghostscript";
  testsupport::TempDir dir;
  Bytes data = Noise(20000, 2);
  for (size_t i = 3000; i < 9000; ++i) data[i] = 0;  // long runs too
  for (size_t i = 12000; i < 15000; ++i) data[i] = static_cast<uint8_t>(i % 3 == 0 ? 5 : 6);
  const Bytes rle = RunLength(data);
  const std::string text = ASCII85(rle);
  testsupport::WriteFileBytes(dir.file("in.a85"), Bytes(text.begin(), text.end()));
  const std::string ps = "/in (" + dir.file("in.a85") +
                         ") (r) file /ASCII85Decode filter /RunLengthDecode filter def\n"
                         "/out (" + dir.file("out.bin") + ") (w) file def\n"
                         "/buf 4096 string def\n"
                         "{ in buf readstring exch out exch writestring not { exit } if } loop\n"
                         "out closefile quit\n";
  testsupport::WriteFileBytes(dir.file("run.ps"), Bytes(ps.begin(), ps.end()));
  ASSERT_EQ(testsupport::RunCommand("gs -q -dNODISPLAY -dNOSAFER -dBATCH " + dir.file("run.ps") + " 2>&1"), 0);
  EXPECT_EQ(testsupport::ReadFileBytes(dir.file("out.bin")), data);
}

}  // namespace
