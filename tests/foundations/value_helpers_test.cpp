// Size fitting, colour counts and text, identifiers and the process facts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "foundations/settings.h"
#include "foundations/system_info.h"
#include "foundations/value_helpers.h"

namespace {

TEST(ValueHelpers, AspectFitShrinksEnlargesAndKeepsSidesPositive) {
  struct Case {
    int32_t W, H, MaxW, MaxH, NewW, NewH;
  };
  const Case Cases[] = {
      {100, 50, 30, 30, 30, 15},
      {1000, 1, 10, 10, 10, 1},    // the height would truncate to 0
      {10, 10, 100, 50, 50, 50},   // enlarged
      {1728, 2288, 108, 286, 108, 143},
      {3, 8, 2, 2, 1, 2},           // 3 x 0.25 truncates to 0, raised to 1
      {1, 2000000, 2000000000, 2000000000, 1000, 2000000000},
  };
  for (const Case& C : Cases) {
    int32_t W = -7, H = -7;
    IEAspectFit(C.W, C.H, C.MaxW, C.MaxH, W, H);
    EXPECT_EQ(W, C.NewW) << C.W << "x" << C.H;
    EXPECT_EQ(H, C.NewH) << C.W << "x" << C.H;
  }
  // A zero side leaves the outputs alone.
  for (auto [W0, H0] : {std::pair{0, 10}, std::pair{10, 0}}) {
    int32_t W = -7, H = -7;
    IEAspectFit(W0, H0, 50, 50, W, H);
    EXPECT_EQ(W, -7);
    EXPECT_EQ(H, -7);
  }
}

TEST(ValueHelpers, AspectFitAtResolutionFitsTheShapeOnPaper) {
  // Fax pages on a US letter page of 612 x 792 points: both are 8.47 x 11
  // inches on paper, so both fill the height and take the same width.
  struct Case {
    int32_t W, H, DpiX, DpiY, NewW, NewH;
  };
  const Case Cases[] = {
      {1728, 1078, 204, 98, 609, 792},   // standard mode
      {1728, 2156, 204, 196, 609, 792},  // fine mode
      {1728, 2156, 196, 196, 612, 763},  // square pixels: width-limited
  };
  for (const Case& C : Cases) {
    int32_t W = -7, H = -7;
    IEAspectFitAtResolution(C.W, C.H, C.DpiX, C.DpiY, 612, 792, W, H);
    EXPECT_EQ(W, C.NewW) << C.W << "x" << C.H;
    EXPECT_EQ(H, C.NewH) << C.W << "x" << C.H;
  }
  // Equal or unknown resolutions: exactly IEAspectFit.
  for (auto [DpiX, DpiY] : {std::pair{300, 300}, std::pair{0, 96}, std::pair{96, -1}}) {
    int32_t W = -7, H = -7, W2 = -7, H2 = -7;
    IEAspectFitAtResolution(1000, 333, DpiX, DpiY, 250, 250, W, H);
    IEAspectFit(1000, 333, 250, 250, W2, H2);
    EXPECT_EQ(W, W2);
    EXPECT_EQ(H, H2);
  }
}

TEST(ValueHelpers, ColorCountMultipliesShiftedFactorsAndSaturates) {
  struct Case {
    int32_t Bits, Samples, Count;
  };
  const Case Cases[] = {
      {1, 1, 2},          {4, 1, 16},          {8, 1, 256},
      {8, 3, 16777216},   {16, 1, 65536},      {5, 3, 32768},
      {0, 3, 1},          {8, 0, 1},           {32, 2, 1},  // shift count 32 is 0
      {33, 1, 2},         {8, 4, 2147483647},  {16, 3, 2147483647},
      {31, 1, 2147483647},  // 2^31 is beyond the Integer range
      {30, 1, 1073741824},
  };
  for (const Case& C : Cases) EXPECT_EQ(IEColorCount(C.Bits, C.Samples), C.Count) << C.Bits << " x " << C.Samples;
}

TEST(ValueHelpers, ColorToCommaTextTakesRedGreenBlueFromTheHighBytes) {
  EXPECT_EQ(IEColorToCommaText(0x00FF8001), "255,128,1");
  EXPECT_EQ(IEColorToCommaText(0), "0,0,0");
  EXPECT_EQ(IEColorToCommaText(static_cast<int32_t>(0xAB010203u)), "1,2,3");  // top byte ignored
  EXPECT_EQ(IEColorToCommaText(-1), "255,255,255");
}

TEST(ValueHelpers, GUIDTextRoundTripsInEitherCase) {
  TGUID G;
  G.D1 = 0x6BA7B810;
  G.D2 = 0x9DAD;
  G.D3 = 0x11D1;
  const uint8_t Tail[8] = {0x80, 0xB4, 0x00, 0xC0, 0x4F, 0xD4, 0x30, 0xC8};
  for (int i = 0; i < 8; ++i) G.D4[i] = Tail[i];
  const std::string Text = IEGUIDToString(G);
  EXPECT_EQ(Text, "{6ba7b810-9dad-11d1-80b4-00c04fd430c8}");
  EXPECT_EQ(Text.size(), 38u);

  for (const std::string& T : {Text, std::string("{6BA7B810-9DAD-11D1-80B4-00C04FD430C8}"),
                               std::string("{6ba7B810-9dAD-11d1-80b4-00C04fd430c8")}) {
    TGUID Back;
    ASSERT_TRUE(IEStringToGUID(T, Back)) << T;
    EXPECT_TRUE(IESameGUID(Back, G)) << T;
  }
  TGUID Other = G;
  Other.D4[7] ^= 1;
  EXPECT_FALSE(IESameGUID(Other, G));
  Other = G;
  Other.D3 = 0;
  EXPECT_FALSE(IESameGUID(Other, G));
}

TEST(ValueHelpers, StringToGUIDRefusesTextsThatAreNotIdentifiers) {
  const TGUID Zero;
  for (const std::string& T : {std::string(""), std::string("{6ba7b810-9dad-11d1-80b4-00c04fd430}"),
                              std::string("{6ba7b81g-9dad-11d1-80b4-00c04fd430c8}"),
                              std::string("{6ba7b810-9dad-11d1-80b4-00c04fd430cz}"),
                              std::string("{6ba7b810-9dad-11d1- 0b4-00c04fd430c8}")}) {
    TGUID G;
    G.D1 = 5;
    EXPECT_FALSE(IEStringToGUID(T, G)) << T;
    EXPECT_TRUE(IESameGUID(G, Zero)) << T;
  }
}

// Sets an environment variable for the life of the object.
class TEnvOverride {
 public:
  TEnvOverride(const char* Name, const char* Value) : FName(Name) {
    if (const char* Old = std::getenv(Name)) FOld = Old;
    if (Value) setenv(Name, Value, 1);
    else unsetenv(Name);
  }
  ~TEnvOverride() {
    if (FOld) setenv(FName.c_str(), FOld->c_str(), 1);
    else unsetenv(FName.c_str());
  }

 private:
  std::string FName;
  std::optional<std::string> FOld;
};

TEST(SystemInfo, RemoteSessionFromSshAndTheDisplay) {
  struct Case {
    const char* SshConnection;
    const char* Display;
    bool Remote;
  };
  const Case Cases[] = {
      {nullptr, nullptr, false},          {nullptr, ":0", false},
      {nullptr, ":1.0", false},           {nullptr, "unix:0", false},
      {nullptr, "localhost:10.0", true},  {nullptr, "faxhost.example:0", true},
      {"10.0.0.2 5000 10.0.0.1 22", ":0", true}, {"", ":0", false},
  };
  TEnvOverride Client("SSH_CLIENT", nullptr), Tty("SSH_TTY", nullptr);
  for (const Case& C : Cases) {
    TEnvOverride Ssh("SSH_CONNECTION", C.SshConnection), Display("DISPLAY", C.Display);
    EXPECT_EQ(IEIsRemoteSession(), C.Remote) << (C.SshConnection ? C.SshConnection : "-") << " / "
                                             << (C.Display ? C.Display : "-");
  }
}

TEST(SystemInfo, VersionAndProcessorFacts) {
  // The settings' start value and the probe agree: "anything else".
  EXPECT_EQ(IEGetOSVersion(), 9);
  EXPECT_EQ(IEGetOSVersion(), IEOSVersion);
#if defined(__x86_64__)
  EXPECT_TRUE(IEHasMMX());  // every x86-64 processor has MMX
#else
  EXPECT_FALSE(IEHasMMX());
#endif
}

}  // namespace
