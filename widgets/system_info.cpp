#include "widgets/system_info.h"

#include <unistd.h>

#include <cstring>

#include "platform/rtl/sysutils.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

// ------------------------------------------------------------ system version
TWinVersionKind DetectWindowsVersion(const TOsVersionFacts& F) {
  std::string SP = F.ServicePack;
  while (!SP.empty() && SP.front() == ' ') SP.erase(SP.begin());
  while (!SP.empty() && SP.back() == ' ') SP.pop_back();
  if (F.PlatformId == 1) {
    if (F.Minor < 10) return (SP == "B" || SP == "C") ? osWin95OSR2 : osWin95;
    if (F.Minor < 90) {
      if (F.Kernel32ProductVersion == 0x0004005A) return osWinME;
      return (SP == "A" || SP == "B") ? osWin98SE : osWin98;
    }
    if (F.Minor == 90) return osWinME;
    return osUnknown;
  }
  if (F.PlatformId != 2) return osUnknown;
  switch (F.Major) {
    case 3:
      if (F.Minor == 1) return osNT31;
      if (F.Minor == 5) return osNT35;
      if (F.Minor == 51) return osNT351;
      return osUnknown;
    case 4: return osNT4;
    case 5:
      if (F.Minor == 0) return osWin2000;
      if (F.Minor == 1) return osWinXP;
      if (F.Minor == 2) {
        if (F.ServerR2) return osServer2003R2;
        if (!F.NativeX86 && F.Workstation) return osWinXP64;
        return osServer2003;
      }
      return osUnknown;
    case 6:
      if (F.Minor == 0) return F.Workstation ? osVista : osServer2008;
      if (F.Minor == 1) return F.Workstation ? osWin7 : osServer2008R2;
      return osUnknown;
    default: return osUnknown;
  }
}

namespace {
TSystemFacts& Facts() {
  static TSystemFacts F;
  return F;
}
}  // namespace

const TSystemFacts& SystemFacts() { return Facts(); }

void SystemInfoStartup() {
  TSystemFacts& F = Facts();
  F = TSystemFacts{};
  const long Cpus = sysconf(_SC_NPROCESSORS_ONLN);
  const long Page = sysconf(_SC_PAGESIZE);
  F.ProcessorCount = Cpus > 0 ? static_cast<uint32_t>(Cpus) : 1;
  F.PageSize = Page > 0 ? static_cast<uint32_t>(Page) : 4096;
  F.AllocationGranularity = F.PageSize;  // mmap hands out whole pages
  F.IsNT = false;
  TOsVersionFacts Os;  // neither Windows family
  F.Version = DetectWindowsVersion(Os);
  if (F.Version != osUnknown) F.VersionFlags[F.Version] = true;
  F.IsNT3 = F.Version == osNT31 || F.Version == osNT35 || F.Version == osNT351;
}

// ------------------------------------------------------------ processor
bool HasCPUIDSupport() {
#if defined(__x86_64__)
  return true;  // every 64-bit x86 processor has it
#elif defined(__i386__)
  return __get_cpuid_max(0, nullptr) != 0;
#else
  return false;
#endif
}

TCpuidRegisters ExecuteCPUID(uint32_t Leaf, uint32_t SubLeaf) {
  TCpuidRegisters R;
#if defined(__x86_64__) || defined(__i386__)
  __cpuid_count(Leaf, SubLeaf, R.A, R.B, R.C, R.D);
#endif
  return R;
}

namespace {
enum TCacheKind : uint8_t { ckInstructionTLB, ckDataTLB, ckL1Instruction, ckL1Data, ckL2, ckL2TLB, ckL3, ckTrace, ckOther };
struct TCacheDescriptor {
  uint8_t Key;
  TCacheKind Kind;
  uint32_t Size;
  uint8_t Associativity, LineSize, LinesPerSector;
};
// The caches among the maker's published leaf-2 descriptors; others count as
// "other" and add nothing.
constexpr TCacheDescriptor kDescriptors[] = {
    {0x06, ckL1Instruction, 8, 4, 32, 0},  {0x08, ckL1Instruction, 16, 4, 32, 0}, {0x09, ckL1Instruction, 32, 4, 64, 0},
    {0x0A, ckL1Data, 8, 2, 32, 0},         {0x0C, ckL1Data, 16, 4, 32, 0},        {0x0D, ckL1Data, 16, 4, 64, 0},
    {0x0E, ckL1Data, 24, 6, 64, 0},        {0x21, ckL2, 256, 8, 64, 0},           {0x22, ckL3, 512, 4, 64, 2},
    {0x23, ckL3, 1024, 8, 64, 2},          {0x25, ckL3, 2048, 8, 64, 2},          {0x29, ckL3, 4096, 8, 64, 2},
    {0x2C, ckL1Data, 32, 8, 64, 0},        {0x30, ckL1Instruction, 32, 8, 64, 0}, {0x39, ckL2, 128, 4, 64, 2},
    {0x3A, ckL2, 192, 6, 64, 2},           {0x3B, ckL2, 128, 2, 64, 2},           {0x3C, ckL2, 256, 4, 64, 2},
    {0x3D, ckL2, 384, 6, 64, 2},           {0x3E, ckL2, 512, 4, 64, 2},           {0x41, ckL2, 128, 4, 32, 0},
    {0x42, ckL2, 256, 4, 32, 0},           {0x43, ckL2, 512, 4, 32, 0},           {0x44, ckL2, 1024, 4, 32, 0},
    {0x45, ckL2, 2048, 4, 32, 0},          {0x46, ckL3, 4096, 4, 64, 0},          {0x47, ckL3, 8192, 8, 64, 0},
    {0x48, ckL2, 3072, 12, 64, 0},         {0x4E, ckL2, 6144, 24, 64, 0},         {0x60, ckL1Data, 16, 8, 64, 0},
    {0x66, ckL1Data, 8, 4, 64, 0},         {0x67, ckL1Data, 16, 4, 64, 0},        {0x68, ckL1Data, 32, 4, 64, 0},
    {0x78, ckL2, 1024, 4, 64, 0},          {0x79, ckL2, 128, 8, 64, 2},           {0x7A, ckL2, 256, 8, 64, 2},
    {0x7B, ckL2, 512, 8, 64, 2},           {0x7C, ckL2, 1024, 8, 64, 2},          {0x7D, ckL2, 2048, 8, 64, 0},
    {0x7F, ckL2, 512, 2, 64, 0},           {0x80, ckL2, 512, 8, 64, 0},           {0x82, ckL2, 256, 8, 32, 0},
    {0x83, ckL2, 512, 8, 32, 0},           {0x84, ckL2, 1024, 8, 32, 0},          {0x85, ckL2, 2048, 8, 32, 0},
    {0x86, ckL2, 512, 4, 64, 0},           {0x87, ckL2, 1024, 8, 64, 0},          {0xFF, ckOther, 0, 0, 0, 0},
};

std::string Text(uint32_t R) { return std::string(reinterpret_cast<const char*>(&R), 4); }

struct TDetector {
  TProcessorInfo& I;
  const TCpuidFunction& Cpuid;
  uint32_t MaxStandard = 0;

  void Signature(uint32_t A) {
    I.CpuTypeField = (A >> 12) & 3;
    I.Family = (A >> 8) & 0xF;
    I.Model = (A >> 4) & 0xF;
    I.Stepping = A & 0xF;
    I.ExtendedModel = (A >> 16) & 0xF;
    I.ExtendedFamily = (A >> 20) & 0xFF;
  }
  void HyperThreading(uint32_t B) {
    I.HasHyperThreading = (I.FeatureFlags >> 28) & 1;
    if (I.HasHyperThreading) {
      const uint8_t N = (B >> 16) & 0xFF;
      I.LogicalCores = N ? N : 1;
    }
  }
  void Generic() {
    if (MaxStandard >= 1) {
      const TCpuidRegisters R = Cpuid(1, 0);
      Signature(R.A);
      I.FeatureFlags = R.D;
      if (I.VendorKind == cvIntel) {
        I.StandardECX = R.C;
        I.BrandIndex = R.B & 0xFF;
        HyperThreading(R.B);
      }
    }
    if (MaxStandard >= 2) {
      I.CacheLeafPresent = true;
      const TCpuidRegisters R = Cpuid(2, 0);
      const uint32_t Regs[4] = {R.A, R.B, R.C, R.D};
      std::memcpy(I.CacheDescriptors.data(), Regs, 16);
    }
  }
  // The brand string of leaves 0x80000002.. as far as MaxExtended allows.
  void Brand(uint32_t MaxExtended) {
    std::string S;
    for (uint32_t L = 0x80000002; L <= 0x80000004 && L <= MaxExtended; ++L) {
      const TCpuidRegisters R = Cpuid(L, 0);
      S += Text(R.A) + Text(R.B) + Text(R.C) + Text(R.D);
    }
    const size_t End = S.find('\0');
    if (End != std::string::npos) S.resize(End);
    while (!S.empty() && S.front() == ' ') S.erase(S.begin());
    I.ProcessorName = S.substr(0, 47);
  }
  void AmdStyleL1(const TCpuidRegisters& R) {
    I.L1DataCacheSize = R.C >> 24;
    I.L1DataLineSize = R.C & 0xFF;
    I.L1DataAssociativity = (R.C >> 16) & 0xFF;
    I.L1InstructionCacheSize = R.D >> 24;
    I.L1InstructionLineSize = R.D & 0xFF;
    I.L1InstructionAssociativity = (R.D >> 16) & 0xFF;
  }
  void AmdStyleL2(const TCpuidRegisters& R) {
    I.L2CacheSize = R.C >> 16;
    I.L2LineSize = R.C & 0xFF;
    I.L2Associativity = (R.C >> 12) & 0xF;
  }

  void Intel() {
    I.VendorKind = cvIntel;
    I.VendorName = "Intel";
    Generic();
    if (MaxStandard >= 4) I.PhysicalCores = static_cast<uint8_t>(((Cpuid(4, 0).A >> 26) & 0x3F) + 1);
    const uint32_t M = Cpuid(0x80000000, 0).A;
    uint32_t L2From6 = 0;
    if (M > 0x80000000) {
      I.ExtendedLeavesPresent = true;
      const TCpuidRegisters E = Cpuid(0x80000001, 0);
      I.ExtendedEDX = E.D;
      I.ExtendedECX = E.C;
      if (M > 0x80000001) Brand(M);
      if (M > 0x80000005) L2From6 = Cpuid(0x80000006, 0).C;
    }
    if (I.CacheLeafPresent) {
      if (L2From6) AmdStyleL2(TCpuidRegisters{0, 0, L2From6, 0});
      for (uint8_t Key : I.CacheDescriptors) {
        if (Key == 0) continue;
        for (const auto& D : kDescriptors) {
          if (D.Key != Key) continue;
          switch (D.Kind) {
            case ckL1Instruction:
              I.L1InstructionCacheSize += D.Size;
              I.L1InstructionLineSize = D.LineSize;
              I.L1InstructionAssociativity = D.Associativity;
              break;
            case ckL1Data:
              I.L1DataCacheSize += D.Size;
              I.L1DataLineSize = D.LineSize;
              I.L1DataAssociativity = D.Associativity;
              break;
            case ckL2:
              if (!L2From6) {
                I.L2CacheSize += D.Size;
                I.L2LineSize = D.LineSize;
                I.L2Associativity = D.Associativity;
              }
              break;
            case ckL3:
              I.L3CacheSize += D.Size;
              I.L3LineSize = D.LineSize;
              I.L3Associativity = D.Associativity;
              I.L3LinesPerSector = D.LinesPerSector;
              break;
            default: break;
          }
        }
      }
    }
    if (!I.ExtendedLeavesPresent || I.ProcessorName.empty()) I.ProcessorName = IntelName();
    I.HasMMX = (I.FeatureFlags >> 23) & 1;
    if ((I.FeatureFlags >> 25) & 1) I.SSESupport |= sse;
    if ((I.FeatureFlags >> 26) & 1) I.SSESupport |= sse2;
    const uint32_t C = I.StandardECX;
    if (C & 1) I.SSESupport |= sse3;
    if ((C >> 9) & 1) I.SSESupport |= ssse3;
    if ((C >> 19) & 1) I.SSESupport |= sse4A;
    if ((C >> 20) & 1) I.SSESupport |= sse4B;
    if ((C >> 28) & 1) I.SSESupport |= avx;
    if (I.ExtendedLeavesPresent) {
      I.LongModeCapable = (I.ExtendedEDX >> 29) & 1;
      I.HasNoExecute = (I.ExtendedEDX >> 20) & 1;
    }
  }
  std::string IntelName() const {
    switch (I.Family) {
      case 4:
        switch (I.Model) {
          case 1: return "Intel 486DX Processor";
          case 2: return "Intel 486SX Processor";
          case 3: return "Intel DX2 Processor";
          case 5: return "Intel SX2 Processor";
          case 7: return "Write-Back Enhanced Intel DX2 Processor";
          case 8: return "Intel DX4 Processor";
          default: return "Intel 486 Processor";
        }
      case 5: return "Pentium";
      case 6:
        switch (I.Model) {
          case 1: return "Pentium Pro";
          case 3: return "Pentium II";
          case 5:
            if (I.L2CacheSize == 0) return "Celeron";
            if (I.L2CacheSize == 1024 || I.L2CacheSize == 2048) return "Pentium II Xeon";
            return "Pentium II";
          case 6: return (I.L2CacheSize == 0 || I.L2CacheSize == 128) ? "Celeron" : "Pentium II";
          case 7: return (I.L2CacheSize == 1024 || I.L2CacheSize == 2048) ? "Pentium III Xeon" : "Pentium III";
          case 8:
            if (I.BrandIndex == 1) return "Celeron";
            if (I.BrandIndex == 3) return "Pentium III Xeon";
            return "Pentium III";
          case 10: return "Pentium III Xeon";
          case 11: return "Pentium III";
          default: return Format("P6 (Model %d)", I.Model);
        }
      case 15:
        if (I.BrandIndex == 1) return "Celeron";
        if (I.BrandIndex == 14) return "Xeon";
        return "Pentium 4";
      default: return Format("P%d", I.Family);
    }
  }

  void Amd() {
    I.VendorKind = cvAMD;
    I.VendorName = "AMD";
    if (MaxStandard >= 1) {
      const TCpuidRegisters R = Cpuid(1, 0);
      Signature(R.A);
      I.FeatureFlags = R.D;
      I.StandardECX = R.C;
      HyperThreading(R.B);
    }
    const uint32_t M = Cpuid(0x80000000, 0).A;
    if (M != 0 && M > 0x80000000) {
      I.ExtendedLeavesPresent = true;
      const TCpuidRegisters E = Cpuid(0x80000001, 0);
      Signature(E.A);
      I.ExtendedEDX = E.D;
      I.ExtendedECX = E.C;
      Brand(M);
      if (M > 0x80000004) {
        I.CacheLeafPresent = true;
        AmdStyleL1(Cpuid(0x80000005, 0));
      }
      if (M >= 0x80000006) {
        const TCpuidRegisters L = Cpuid(0x80000006, 0);
        AmdStyleL2(L);
        I.L3CacheSize = (L.D >> 18) * 512;
        I.L3LineSize = L.D & 0xFF;
        I.L3Associativity = (L.D >> 12) & 0xF;
      }
      if (M >= 0x80000008) I.PhysicalCores = static_cast<uint8_t>((Cpuid(0x80000008, 0).C & 0xFF) + 1);
      I.HasExMMX = (I.ExtendedEDX >> 22) & 1;
      I.Has3DNow = (I.ExtendedEDX >> 31) & 1;
      I.HasEx3DNow = (I.ExtendedEDX >> 30) & 1;
      I.LongModeCapable = (I.ExtendedEDX >> 29) & 1;
      I.HasNoExecute = (I.ExtendedEDX >> 20) & 1;
      if ((I.ExtendedECX >> 6) & 1) I.SSESupport |= sse4A;
      if ((I.ExtendedECX >> 11) & 1) I.SSESupport |= sse5;
    } else {
      Generic();
      I.ProcessorName = AmdName();
    }
    I.HasMMX = (I.FeatureFlags >> 23) & 1;
    if ((I.FeatureFlags >> 25) & 1) I.SSESupport |= sse;
    if ((I.FeatureFlags >> 26) & 1) I.SSESupport |= sse2;
    if (I.StandardECX & 1) I.SSESupport |= sse3;
  }
  std::string AmdName() const {
    switch (I.Family) {
      case 4: return "Am486(R) or Am5x86";
      case 5:
        if (I.Model <= 3) return Format("AMD-K5 (Model %d)", I.Model);
        if (I.Model == 6 || I.Model == 7) return Format("AMD-K6\u00AE (Model %d)", I.Model);
        if (I.Model == 8) return "AMD-K6\u00AE-2 (Model 8)";
        if (I.Model == 9) return "AMD-K6\u00AE-III (Model 9)";
        return Format("Unknown AMD (Model %d)", I.Model);
      case 6:
        if (I.Model == 1 || I.Model == 2 || I.Model == 4) return Format("AMD Athlon\u2122 (Model %d)", I.Model);
        if (I.Model == 3 || I.Model == 7) return Format("AMD Duron\u2122 (Model %d)", I.Model);
        if (I.Model == 6 || I.Model == 8 || I.Model == 10) return Format("AMD Athlon\u2122 XP (Model %d)", I.Model);
        return Format("Unknown AMD (Model %d)", I.Model);
      case 8: return "";
      default: return "Unknown AMD Chip";
    }
  }

  void Cyrix() {
    I.VendorKind = cvCyrix;
    I.VendorName = "Cyrix";
    const uint32_t M = Cpuid(0x80000000, 0).A;
    if (M != 0) {
      I.ExtendedLeavesPresent = true;
      const TCpuidRegisters E = Cpuid(0x80000001, 0);
      Signature(E.A);
      I.FeatureFlags = E.D;
      Brand(M);
      I.CacheLeafPresent = true;
      Cpuid(0x80000005, 0);
      return;
    }
    Generic();
    if (I.Family == 4) I.ProcessorName = "Cyrix MediaGX";
    else if (I.Family == 5 && I.Model == 2) I.ProcessorName = "Cyrix 6x86";
    else if (I.Family == 5 && I.Model == 4) I.ProcessorName = "Cyrix GXm";
    else if (I.Family == 6) I.ProcessorName = "6x86MX";
    else I.ProcessorName = Format("%dx86", I.Family);
  }

  void Via() {
    I.VendorKind = cvVIA;
    I.VendorName = "Via";
    const uint32_t M = Cpuid(0x80000000, 0).A;
    if (M != 0) {
      I.ExtendedLeavesPresent = true;
      const TCpuidRegisters E = Cpuid(0x80000001, 0);
      Signature(E.A);
      I.ExtendedEDX = E.D;
      Brand(M);
      I.CacheLeafPresent = true;
      AmdStyleL1(Cpuid(0x80000005, 0));
      AmdStyleL2(Cpuid(0x80000006, 0));
      if (MaxStandard >= 1) I.FeatureFlags = Cpuid(1, 0).D;
    } else {
      Generic();
      I.ProcessorName = "C3";
    }
    I.HasMMX = (I.FeatureFlags >> 23) & 1;
    I.Has3DNow = (I.FeatureFlags >> 31) & 1;
    if ((I.FeatureFlags >> 25) & 1) I.SSESupport |= sse;
  }

  void Transmeta() {
    I.VendorKind = cvTransmeta;
    I.VendorName = "Transmeta";
    if (MaxStandard >= 1) {
      const TCpuidRegisters R = Cpuid(1, 0);
      Signature(R.A);
      I.FeatureFlags = R.D;
    }
    const uint32_t M = Cpuid(0x80000000, 0).A;
    if (M != 0) {
      I.ExtendedLeavesPresent = true;
      I.ExtendedEDX = Cpuid(0x80000001, 0).D;
      Brand(M);
      I.CacheLeafPresent = true;
      AmdStyleL1(Cpuid(0x80000005, 0));
      AmdStyleL2(Cpuid(0x80000006, 0));
    } else {
      I.ProcessorName = "Crusoe";
    }
    I.HasMMX = (I.FeatureFlags >> 23) & 1;
  }
};
}  // namespace

void DetectProcessor(TProcessorInfo& Info, const TCpuidFunction& Cpuid, bool CpuidPresent) {
  Info = TProcessorInfo{};
  Info.LogicalCores = 1;
  Info.PhysicalCores = 1;
  const TCpuidFunction Run = Cpuid ? Cpuid : TCpuidFunction(&ExecuteCPUID);
  if (!CpuidPresent || (!Cpuid && !HasCPUIDSupport())) {
    Info.Family = 4;
  } else {
    Info.HasCPUID = true;
    const TCpuidRegisters R0 = Run(0, 0);
    Info.VendorId = Text(R0.B) + Text(R0.D) + Text(R0.C);
    TDetector D{Info, Run, R0.A};
    if (Info.VendorId == "GenuineIntel") D.Intel();
    else if (Info.VendorId == "AuthenticAMD") D.Amd();
    else if (Info.VendorId == "CyrixInstead") D.Cyrix();
    else if (Info.VendorId == "CentaurHauls") D.Via();
    else if (Info.VendorId == "GenuineTMx86") D.Transmeta();
    else D.Generic();
  }
  if (Info.VendorKind == cvUnknown) {
    Info.VendorName = "Unknown";
    Info.ProcessorName = "Unknown";
  }
}
