#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <unistd.h>

#include "platform/vcl/application.h"
#include "widgets/alpha_blend.h"
#include "widgets/draw_helpers.h"
#include "widgets/char_tables.h"
#include "widgets/support_units.h"
#include "widgets/system_info.h"
#include "widgets/type_info_list.h"
#include "widgets/version_registry.h"

namespace {

// ------------------------------------------------------------ version registry
TEST(VersionRegistry, SharedBlockHoldsTheWholeAddress) {
  ResetUnitRegistryForTesting();
  TUnitVersionInfo Info;
  Info.SourceLocation = "$URL: a.pas $";
  RegisterUnitRecord(7, &Info);
  RegisterUnitRecord(7, &Info);
  TUnitVersioning* U = AcquireUnitRegistry();
  ASSERT_TRUE(U);
  ASSERT_TRUE(U->FindModule(7));
  EXPECT_EQ(U->FindModule(7)->Count(), 1) << "the same record once per module";

  // Another module of this process maps the same block and finds the same
  // registry there, all 64 bits of its address.
  void* View = nullptr;
  EXPECT_EQ(SharedOpenOrCreate(View, UnitRegistryBlockName(), 8, FILE_MAP_ALL_ACCESS), ERROR_ALREADY_EXISTS);
  uint64_t Stored;
  std::memcpy(&Stored, View, 8);
  EXPECT_EQ(Stored, reinterpret_cast<uintptr_t>(U));

  // The creating module writes 0 before it frees the registry.
  ShutDownUnitRegistry();
  std::memcpy(&Stored, View, 8);
  EXPECT_EQ(Stored, 0u);
  EXPECT_EQ(AcquireUnitRegistry(), nullptr) << "closed registries take nothing";
  RegisterUnitRecord(7, &Info);  // silently nothing
  EXPECT_TRUE(SharedClose(View));
  EXPECT_EQ(View, nullptr);
  EXPECT_EQ(SharedOpenCount(UnitRegistryBlockName()), 0);
  ResetUnitRegistryForTesting();
}

TEST(VersionRegistry, ModulesDropAllTheirRecords) {
  ResetUnitRegistryForTesting();
  TUnitVersionInfo A, B, C;
  RegisterUnitRecord(1, &A);
  RegisterUnitRecord(1, &B);
  RegisterUnitRecord(2, &C);
  TUnitVersioning* U = AcquireUnitRegistry();
  EXPECT_EQ(U->ModuleCount(), 2);
  UnregisterUnitRecords(1);
  EXPECT_EQ(U->ModuleCount(), 1);
  EXPECT_EQ(U->FindModule(1), nullptr);

  OxSupportUnitsStartup();
  const TUnitVersioningModule* Self = U->FindModule(OxThisModule());
  ASSERT_TRUE(Self);
  EXPECT_EQ(Self->Count(), kSupportUnitCount);
  EXPECT_EQ(Self->Items(1)->Info()->RevisionText, "$Revision: 3078 $");
  EXPECT_EQ(Self->Items(0)->Info()->LogFolder, "OSL\\source\\common");
  if (Screen) {
    EXPECT_NE(Screen->GetCursors(crOxDrag), 0u) << "the drag cursors are registered";
  }
  OxSupportUnitsShutdown();
  ResetUnitRegistryForTesting();
}

TEST(VersionRegistry, SharedMemoryAndMutex) {
  const std::string Name = "FolivraTestBlock_" + std::to_string(::getpid());
  void* View = nullptr;
  try {
    SharedOpenOrCreate(View, Name, 0, FILE_MAP_ALL_ACCESS);
    FAIL() << "an empty block cannot be created";
  } catch (const ESharedMemError& E) {
    EXPECT_EQ(E.Message, "The MMF named \"" + Name + "\" cannot be created empty");
  }
  EXPECT_EQ(SharedOpenOrCreate(View, Name, 16, FILE_MAP_ALL_ACCESS), 0u);
  static_cast<uint8_t*>(View)[3] = 42;
  void* Again = nullptr;
  EXPECT_EQ(SharedOpenOrCreate(Again, Name, 16, FILE_MAP_ALL_ACCESS), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(Again, View);
  EXPECT_TRUE(SharedClose(Again));
  EXPECT_EQ(SharedOpenCount(Name), 1) << "the second close only counts down";
  int Local = 0;
  void* Stranger = &Local;
  EXPECT_FALSE(SharedClose(Stranger));
  EXPECT_EQ(Stranger, &Local);
  EXPECT_TRUE(SharedClose(View));
  EXPECT_EQ(SharedOpenCount(Name), 0);

  TOslMutex M(false, "FolivraTestMutex_" + std::to_string(::getpid()));
  EXPECT_FALSE(M.GetExisted());
  EXPECT_EQ(M.AwaitSignal(0), woSignaled);
  EXPECT_EQ(M.AwaitSignal(10), woTimeout);
  M.ReleaseOwnership();
  EXPECT_EQ(WaitOutcomeOf(WAIT_TIMEOUT), woTimeout);
  EXPECT_EQ(WaitOutcomeOf(WAIT_FAILED), woError);
  EXPECT_EQ(WaitOutcomeOf(WAIT_ABANDONED), woAbandoned);
}

// ------------------------------------------------------------ system information
TEST(SystemInfo, WindowsVersionsFromTheirFacts) {
  TOsVersionFacts F;
  F.PlatformId = 1;
  F.Major = 4;
  F.Minor = 10;
  F.ServicePack = " A ";
  EXPECT_EQ(DetectWindowsVersion(F), osWin98SE);
  F.PlatformId = 2;
  F.Major = 5;
  F.Minor = 2;
  F.ServerR2 = true;
  F.NativeX86 = false;
  EXPECT_EQ(DetectWindowsVersion(F), osServer2003R2);
  F.ServerR2 = false;
  EXPECT_EQ(DetectWindowsVersion(F), osWinXP64);
  F.PlatformId = 0;
  EXPECT_EQ(DetectWindowsVersion(F), osUnknown);
  SystemInfoStartup();
  EXPECT_GE(SystemFacts().ProcessorCount, 1u);
  EXPECT_EQ(SystemFacts().Version, osUnknown) << "this system is none of them";
}

// A processor made of a table of leaves.
TCpuidFunction FakeCpu(const std::string& Vendor, std::map<uint32_t, TCpuidRegisters> Leaves) {
  uint32_t B, D, C;
  std::memcpy(&B, Vendor.data(), 4);
  std::memcpy(&D, Vendor.data() + 4, 4);
  std::memcpy(&C, Vendor.data() + 8, 4);
  Leaves[0] = TCpuidRegisters{2, B, C, D};
  return [Leaves](uint32_t Leaf, uint32_t) {
    auto It = Leaves.find(Leaf);
    return It == Leaves.end() ? TCpuidRegisters{} : It->second;
  };
}

TEST(SystemInfo, ProcessorDetectionByVendor) {
  TProcessorInfo I;
  const uint32_t Mmx = 1u << 23;
  DetectProcessor(I, FakeCpu("GenuineIntel", {{1, {0x00000F29, 0, 0, Mmx}}, {2, {0x2C060001, 0, 0, 0xFF}}}));
  EXPECT_EQ(I.VendorName, "Intel");
  EXPECT_TRUE(I.HasMMX);
  EXPECT_EQ(I.Family, 15);
  EXPECT_EQ(I.L1DataCacheSize, 32u);
  EXPECT_EQ(I.L1InstructionCacheSize, 8u);
  EXPECT_EQ(I.L2CacheSize, 0u) << "0xFF adds nothing";
  EXPECT_EQ(I.ProcessorName, "Pentium 4");

  DetectProcessor(I, FakeCpu("GenuineTMx86", {{1, {0x543, 0, 0, Mmx}}}));
  EXPECT_EQ(I.VendorName, "Transmeta");
  EXPECT_EQ(I.ProcessorName, "Crusoe");
  EXPECT_TRUE(I.HasMMX);

  DetectProcessor(I, FakeCpu("SomeoneElse!", {{1, {0x633, 0, 0, Mmx}}}));
  EXPECT_EQ(I.VendorName, "Unknown");
  EXPECT_EQ(I.ProcessorName, "Unknown");
  EXPECT_EQ(I.FeatureFlags, Mmx);
  EXPECT_EQ(I.Family, 6);
  EXPECT_FALSE(I.HasMMX) << "only the listed vendors' MMX bit counts";

  DetectProcessor(I, nullptr, false);
  EXPECT_EQ(I.Family, 4);
  EXPECT_EQ(I.VendorName, "Unknown");

  DetectProcessor(I);  // this machine
  EXPECT_TRUE(I.HasCPUID);
  EXPECT_EQ(I.VendorId.size(), 12u);
}

// ------------------------------------------------------------ character tables
TEST(CharTables, ClassesCaseAndComparison) {
  CharTablesStartup();
  const TCharTables& T = CharTables();
  EXPECT_TRUE(T.CharType['A'] & C1_UPPER);
  EXPECT_TRUE(T.CharType['7'] & C1_DIGIT);
  EXPECT_EQ(T.Toggle['a'], 'A');
  EXPECT_EQ(T.Toggle['Q'], 'q');
  EXPECT_EQ(T.Toggle['5'], '5');
  EXPECT_EQ(T.Toggle[0xE9], 0xE9);
  EXPECT_EQ(CharOccurrences("", 'x'), 0);
  EXPECT_EQ(CharOccurrences("1,2,3", ','), 2);
  EXPECT_EQ(LocaleAnsiCodePage("de_DE.ISO-8859-1"), 28591);
  EXPECT_EQ(LocaleAnsiCodePage("xx"), SystemAnsiCodePage());
  ASSERT_EQ(WideTextCompareProc, &CompareWideNT);
  EXPECT_EQ(WideTextCompareProc(u"abc", u"ABC", ""), 0);
  EXPECT_EQ(WideTextCompareProc(u"abc", u"abd", ""), -1);
  EXPECT_EQ(CompareWideViaAnsi(u"Zeta", u"alpha", ""), 1);
}

// ------------------------------------------------------------ alpha blending
TEST(AlphaBlend, PortableAndMMXForms) {
  const TBlendPixel F = 0x80FF4020, B = 0x00102030;
  EXPECT_EQ(CombinePixelPortable(F, B, 0), B);
  EXPECT_EQ(CombinePixelPortable(F, B, 255), F);
  // Channel by channel against the formula.
  const uint32_t W = 100;
  const TBlendPixel Mixed = CombinePixelPortable(F, B, W);
  for (int L = 0; L < 4; ++L) {
    const uint32_t FC = (F >> (8 * L)) & 0xFF, BC = (B >> (8 * L)) & 0xFF;
    EXPECT_EQ((Mixed >> (8 * L)) & 0xFF, ((FC * W + 128) >> 8) + ((BC * (255 - W) + 128) >> 8)) << L;
  }
  AlphaBlendStartup(1);
  EXPECT_EQ(CombinePixel(0xFF, 0x00, 255) & 0xFF, 254u) << "no special case at full weight";
  EXPECT_EQ(BlendPixelScaled(F, B, 0), B);
  TBlendPixel Src[3] = {0x00FFFFFF, 0xFF123456, 0x80FFFFFF};
  TBlendPixel Dst[3] = {0x11111111, 0x22222222, 0x00000000};
  BlendRow(Src, Dst, 0);
  EXPECT_EQ(Dst[0], 0x11111111u);
  BlendRow(Src, Dst, 3);
  EXPECT_EQ(Dst[0], 0x11111111u) << "alpha 0 leaves the destination";
  EXPECT_EQ(Dst[1], 0xFF123456u);
  EXPECT_EQ(Dst[2] & 0xFF, 0x80u);
  TBlendPixel Keep = 0x33333333;
  BlendRowScaled(Src, &Keep, 1, 255);
  EXPECT_EQ(Keep, 0x33333333u);
  AlphaBlendStartup(0);
  EXPECT_EQ(CombinePixel(0xFF, 0x00, 255) & 0xFF, 255u);
  EXPECT_EQ(BlendPixelScaled(F, B, 0), B);
  TBlendPixel Dst2[3] = {0x11111111, 0x22222222, 0x00000000};
  BlendRow(Src, Dst2, 3);
  EXPECT_EQ(Dst2[0], 0x11111111u);
  AlphaBlendShutdown();
}

// ------------------------------------------------------------ type information
TEST(TypeInfoList, ReferencesAndBases) {
  ClearTypeInfoList();
  auto* Element = new TRuntimeTypeInfo{};
  auto* Set = new TRuntimeTypeInfo{rtkSet, new TRuntimeTypeInfo*(Element)};
  AddTypeInfo(Element);
  AddTypeInfo(Set);
  AddTypeInfo(Set);
  EXPECT_EQ(TypeInfoListCount(), 2);
  ReleaseTypeInfo(Set);
  EXPECT_EQ(TypeInfoListCount(), 2) << "a count of 2 survives one release";
  ReleaseTypeInfo(Set);
  EXPECT_EQ(TypeInfoListCount(), 0) << "the set released its element type first";
  TRuntimeTypeInfo Stranger;
  ReleaseTypeInfo(&Stranger);
  AddTypeInfo(new TRuntimeTypeInfo{});
  ClearTypeInfoList();
  EXPECT_EQ(TypeInfoListCount(), 0);
}

}  // namespace
