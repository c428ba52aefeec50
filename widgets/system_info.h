#pragma once
// Start-up facts about the machine for the support units: the operating
// system version (one of the listed Windows versions, else osUnknown, which
// is what this system runs on), processor count, page size and allocation
// granularity, and a description of the processor from CPUID. Only the MMX
// flag is read by anything (the alpha blending's choice of routines).
#include <array>
#include <cstdint>
#include <functional>
#include <string>

enum TWinVersionKind : uint8_t {
  osUnknown, osWin95, osWin95OSR2, osWin98, osWin98SE, osWinME, osNT31, osNT35, osNT351, osNT4, osWin2000,
  osWinXP, osServer2003, osWinXP64, osServer2003R2, osVista, osServer2008, osWin7, osServer2008R2
};

// What the version decision reads of the system.
struct TOsVersionFacts {
  uint32_t PlatformId = 0;  // 1 the Windows 95 family, 2 the NT family, else another system
  uint32_t Major = 0;
  uint32_t Minor = 0;
  std::string ServicePack;
  uint32_t Kernel32ProductVersion = 0;  // high 32 bits of kernel32's version (95 family)
  bool ServerR2 = false;                // SM_SERVERR2
  bool NativeX86 = true;
  bool Workstation = true;
};
TWinVersionKind DetectWindowsVersion(const TOsVersionFacts& Facts);

// The system-information globals, filled once by SystemInfoStartup.
struct TSystemFacts {
  uint32_t ProcessorCount = 1;
  uint32_t PageSize = 4096;
  uint32_t AllocationGranularity = 4096;
  bool IsNT = false;
  uint32_t Kernel32ProductVersion = 0;
  TWinVersionKind Version = osUnknown;
  std::array<bool, 19> VersionFlags{};  // one per version value; [0] unused
  bool IsNT3 = false;
};
const TSystemFacts& SystemFacts();
void SystemInfoStartup();

// ------------------------------------------------------------ processor
using TSSESupport = uint8_t;
constexpr TSSESupport sse = 1 << 0, sse2 = 1 << 1, sse3 = 1 << 2, ssse3 = 1 << 3, sse4A = 1 << 4, sse4B = 1 << 5,
                      sse5 = 1 << 6, avx = 1 << 7;

enum TCpuVendorKind : uint8_t { cvUnknown, cvIntel, cvCyrix, cvAMD, cvTransmeta, cvVIA };

struct TProcessorInfo {
  bool HasCPUID = false;
  bool HasMMX = false, HasExMMX = false, Has3DNow = false, HasEx3DNow = false;
  TSSESupport SSESupport = 0;
  bool LongModeCapable = false, HasNoExecute = false, CacheLeafPresent = false, ExtendedLeavesPresent = false;
  uint8_t CpuTypeField = 0, Family = 0, ExtendedFamily = 0, Model = 0, ExtendedModel = 0, Stepping = 0;
  uint32_t FeatureFlags = 0;
  std::string VendorId;       // 12 characters
  std::string VendorName;     // "Intel", "AMD", "Cyrix", "Via", "Transmeta" or "Unknown"
  std::string ProcessorName;  // at most 48 characters
  uint32_t L1DataCacheSize = 0;
  uint8_t L1DataLineSize = 0, L1DataAssociativity = 0;
  uint32_t L1InstructionCacheSize = 0;
  uint8_t L1InstructionLineSize = 0, L1InstructionAssociativity = 0;
  uint32_t L2CacheSize = 0;
  uint8_t L2LineSize = 0, L2Associativity = 0;
  uint32_t L3CacheSize = 0;
  uint8_t L3LineSize = 0, L3Associativity = 0, L3LinesPerSector = 0;
  uint8_t LogicalCores = 1, PhysicalCores = 1;
  bool HasHyperThreading = false;
  TCpuVendorKind VendorKind = cvUnknown;
  uint8_t BrandIndex = 0;
  uint32_t StandardECX = 0, ExtendedEDX = 0, ExtendedECX = 0;
  std::array<uint8_t, 16> CacheDescriptors{};
};

struct TCpuidRegisters {
  uint32_t A = 0, B = 0, C = 0, D = 0;
};
// Runs CPUID (Leaf, SubLeaf); tests give a processor of their own.
using TCpuidFunction = std::function<TCpuidRegisters(uint32_t Leaf, uint32_t SubLeaf)>;
bool HasCPUIDSupport();
TCpuidRegisters ExecuteCPUID(uint32_t Leaf, uint32_t SubLeaf);
// Describes the processor. Without CPUID: family 4 and "Unknown".
void DetectProcessor(TProcessorInfo& Info, const TCpuidFunction& Cpuid = nullptr, bool CpuidPresent = true);
