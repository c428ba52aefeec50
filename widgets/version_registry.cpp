#include "widgets/version_registry.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <semaphore.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

// ------------------------------------------------------------ module handle
HMODULE OxThisModule() {
  Dl_info Info{};
  if (dladdr(reinterpret_cast<void*>(&OxThisModule), &Info) && Info.dli_fbase)
    return reinterpret_cast<HMODULE>(Info.dli_fbase);
  return 1;
}

// ------------------------------------------------------------ exceptions
namespace {
std::string ErrorText(uint32_t Code) { return std::strerror(static_cast<int>(Code)); }
}  // namespace

EOslWin32Error::EOslWin32Error(const std::string& What) : EOslWin32Error(static_cast<uint32_t>(errno), What) {}

EOslWin32Error::EOslWin32Error(uint32_t Code, const std::string& What)
    : EOslError(Format("Win32 error: %s (%u)%s%s", ErrorText(Code).c_str(), Code, "\n", What.c_str())),
      LastErrorCode(Code),
      LastErrorText(ErrorText(Code)) {}

// ------------------------------------------------------------ synchronisation
TWaitOutcome WaitOutcomeOf(uint32_t WaitResult) {
  switch (WaitResult) {
    case WAIT_OBJECT_0: return woSignaled;
    case WAIT_ABANDONED: return woAbandoned;
    case WAIT_IO_COMPLETION: return woIOCompletion;
    case WAIT_TIMEOUT: return woTimeout;
    default: return woError;
  }
}

namespace {
// A POSIX object name: one leading slash, no further slashes.
std::string SystemName(const std::string& Name) {
  std::string S = "/";
  for (char C : Name) S += (C == '/' || C == '\\') ? '_' : C;
  return S;
}
}  // namespace

TOslMutex::TOslMutex(bool InitialOwner, const std::string& Name) : FName(Name), FSystemName(SystemName(Name)) {
  sem_t* S = sem_open(FSystemName.c_str(), O_CREAT | O_EXCL, 0600, InitialOwner ? 0 : 1);
  if (S == SEM_FAILED && errno == EEXIST) {
    FExisted = true;
    S = sem_open(FSystemName.c_str(), 0);
  }
  if (S == SEM_FAILED) throw EOslMutexError("Failed to create mutex");
  FSemaphore = S;
}

TOslMutex::~TOslMutex() {
  sem_close(static_cast<sem_t*>(FSemaphore));
  if (!FExisted) sem_unlink(FSystemName.c_str());
}

TWaitOutcome TOslMutex::AwaitSignal(uint32_t Timeout) {
  auto* S = static_cast<sem_t*>(FSemaphore);
  int R;
  if (Timeout == INFINITE_WAIT) {
    do R = sem_wait(S);
    while (R != 0 && errno == EINTR);
  } else {
    timespec Until{};
    clock_gettime(CLOCK_REALTIME, &Until);
    Until.tv_sec += Timeout / 1000;
    Until.tv_nsec += static_cast<long>(Timeout % 1000) * 1000000L;
    if (Until.tv_nsec >= 1000000000L) {
      ++Until.tv_sec;
      Until.tv_nsec -= 1000000000L;
    }
    do R = sem_timedwait(S, &Until);
    while (R != 0 && errno == EINTR);
  }
  if (R == 0) return WaitOutcomeOf(WAIT_OBJECT_0);
  return WaitOutcomeOf(errno == ETIMEDOUT ? WAIT_TIMEOUT : WAIT_FAILED);
}

void TOslMutex::ReleaseOwnership() { sem_post(static_cast<sem_t*>(FSemaphore)); }

// ------------------------------------------------------------ shared memory
namespace {
struct TMMFHandleListItem {
  void* ViewAddress = nullptr;
  int MappingHandle = -1;
  std::string MappingName;
  size_t Size = 0;
  int32_t OpenCount = 0;
};

// The module's open mappings, newest first.
std::vector<TMMFHandleListItem>& OpenMappings() {
  static std::vector<TMMFHandleListItem> List;
  return List;
}
TOslIntfCriticalSection& MappingLock() {
  static TOslIntfCriticalSection Lock;
  return Lock;
}

[[noreturn]] void RaiseOSError() {
  const int Code = errno;
  throw EOSError(Format("System Error.  Code: %d.\n%s", Code, std::strerror(Code)), static_cast<uint32_t>(Code));
}
}  // namespace

uint32_t SharedOpenOrCreate(void*& View, const std::string& Name, uint32_t Size, uint32_t DesiredAccess) {
  View = nullptr;
  if (Name.empty()) throw ESharedMemError(Format("Invalid MMF name \"%s\"", Name.c_str()));
  auto Held = MappingLock().Acquire();
  auto& List = OpenMappings();
  for (auto& Item : List)
    if (SameText(Item.MappingName, Name)) {
      ++Item.OpenCount;
      View = Item.ViewAddress;
      return ERROR_ALREADY_EXISTS;
    }
  const std::string Sys = SystemName(Name);
  const bool Writable = (DesiredAccess & (FILE_MAP_WRITE | FILE_MAP_COPY)) != 0 || DesiredAccess == FILE_MAP_ALL_ACCESS;
  uint32_t Result = 0;
  int Fd = shm_open(Sys.c_str(), Writable ? O_RDWR : O_RDONLY, 0600);
  size_t MapSize = Size;
  if (Fd >= 0) {
    Result = ERROR_ALREADY_EXISTS;
    struct stat St {};
    if (fstat(Fd, &St) == 0 && Size == 0) MapSize = static_cast<size_t>(St.st_size);
  } else {
    if (Size == 0) throw ESharedMemError(Format("The MMF named \"%s\" cannot be created empty", Name.c_str()));
    Fd = shm_open(Sys.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
    if (Fd < 0 && errno == EEXIST) {
      Result = ERROR_ALREADY_EXISTS;
      Fd = shm_open(Sys.c_str(), O_RDWR, 0600);
    } else if (Fd >= 0 && ftruncate(Fd, Size) != 0) {
      const int Code = errno;
      close(Fd);
      shm_unlink(Sys.c_str());
      errno = Code;
      RaiseOSError();
    }
    if (Fd < 0) RaiseOSError();
  }
  if (MapSize == 0) {
    close(Fd);
    throw ESharedMemError(Format("The MMF named \"%s\" cannot be created empty", Name.c_str()));
  }
  const int Prot = PROT_READ | (Writable ? PROT_WRITE : 0);
  const int Flags = DesiredAccess == FILE_MAP_COPY ? MAP_PRIVATE : MAP_SHARED;
  void* P = mmap(nullptr, MapSize, Prot, Flags, Fd, 0);
  if (P == MAP_FAILED) {
    const int Code = errno;
    close(Fd);
    errno = Code;
    RaiseOSError();
  }
  TMMFHandleListItem Item;
  Item.ViewAddress = P;
  Item.MappingHandle = Fd;
  Item.MappingName = Name;
  Item.Size = MapSize;
  Item.OpenCount = 1;
  List.insert(List.begin(), Item);
  View = P;
  return Result;
}

bool SharedClose(void*& View) {
  if (!View) return true;
  auto Held = MappingLock().Acquire();
  auto& List = OpenMappings();
  auto It = std::find_if(List.begin(), List.end(), [&](const TMMFHandleListItem& I) { return I.ViewAddress == View; });
  if (It == List.end()) return false;
  if (It->OpenCount < 2) {
    munmap(It->ViewAddress, It->Size);
    close(It->MappingHandle);
    // The block goes with its last handle, as named blocks do.
    shm_unlink(SystemName(It->MappingName).c_str());
    List.erase(It);
  } else {
    --It->OpenCount;
  }
  View = nullptr;
  return true;
}

int32_t SharedOpenCount(const std::string& Name) {
  auto Held = MappingLock().Acquire();
  for (auto& Item : OpenMappings())
    if (SameText(Item.MappingName, Name)) return Item.OpenCount;
  return 0;
}

// ------------------------------------------------------------ registry
void TUnitVersioningModule::Add(const TUnitVersionInfo* Info) {
  for (auto& V : FItems)
    if (V->Info() == Info) return;
  FItems.push_back(std::make_unique<TUnitVersion>(Info));
}

void TUnitVersioning::AddInfo(HMODULE Instance, const TUnitVersionInfo* Info) {
  for (auto& M : FModules)
    if (M->Instance() == Instance) {
      M->Add(Info);
      return;
    }
  FModules.push_back(std::make_unique<TUnitVersioningModule>(Instance));
  FModules.back()->Add(Info);
}

void TUnitVersioning::DropModule(HMODULE Instance) {
  for (auto It = FModules.rbegin(); It != FModules.rend(); ++It)
    if ((*It)->Instance() == Instance) {
      FModules.erase(std::next(It).base());
      return;
    }
}

const TUnitVersioningModule* TUnitVersioning::FindModule(HMODULE Instance) const {
  for (auto& M : FModules)
    if (M->Instance() == Instance) return M.get();
  return nullptr;
}

namespace {
struct TRegistryState {
  std::unique_ptr<TOslMutex> Mutex;
  void* Block = nullptr;  // the mapped 8-byte block
  TUnitVersioning* Object = nullptr;
  bool Owns = false;
  bool Closed = false;
};
TRegistryState& Registry() {
  static TRegistryState State;
  return State;
}

// The address in the block: a full pointer, never cut to 32 bits.
TUnitVersioning* ReadBlock(void* Block) {
  uint64_t V;
  std::memcpy(&V, Block, sizeof V);
  return reinterpret_cast<TUnitVersioning*>(static_cast<uintptr_t>(V));
}
void WriteBlock(void* Block, TUnitVersioning* Object) {
  const uint64_t V = reinterpret_cast<uintptr_t>(Object);
  std::memcpy(Block, &V, sizeof V);
}

struct TMutexHold {
  TOslMutex* M;
  explicit TMutexHold(TOslMutex* AM) : M(AM) { M->AwaitSignal(INFINITE_WAIT); }
  ~TMutexHold() { M->ReleaseOwnership(); }
};
}  // namespace

std::string UnitRegistryMutexName() { return "MutexNPA_UnitVersioning_" + std::to_string(getpid()); }
std::string UnitRegistryBlockName() { return "ShmNPA_UnitVersioning_" + std::to_string(getpid()); }

TUnitVersioning* AcquireUnitRegistry() {
  TRegistryState& R = Registry();
  if (R.Closed) return nullptr;
  if (!R.Mutex) R.Mutex = std::make_unique<TOslMutex>(false, UnitRegistryMutexName());
  if (!R.Object) {
    TMutexHold Hold(R.Mutex.get());
    if (!R.Block) {
      try {
        SharedOpenOrCreate(R.Block, UnitRegistryBlockName(), sizeof(uint64_t), FILE_MAP_ALL_ACCESS);
      } catch (const Exception&) {
        R.Block = nullptr;  // no shared memory: a registry of this module alone
      }
    }
    if (R.Block) {
      R.Object = ReadBlock(R.Block);
      if (!R.Object) {
        R.Object = new TUnitVersioning();
        WriteBlock(R.Block, R.Object);
        R.Owns = true;
      }
    } else {
      R.Object = new TUnitVersioning();
      R.Owns = true;
    }
  } else if (R.Block) {
    // Another module may have closed the registry meanwhile.
    TMutexHold Hold(R.Mutex.get());
    R.Object = ReadBlock(R.Block);
  }
  return R.Object;
}

void RegisterUnitRecord(HMODULE Instance, const TUnitVersionInfo* Info) {
  if (TUnitVersioning* U = AcquireUnitRegistry()) U->AddInfo(Instance, Info);
}

void UnregisterUnitRecords(HMODULE Instance) {
  if (TUnitVersioning* U = AcquireUnitRegistry()) U->DropModule(Instance);
}

void ShutDownUnitRegistry() {
  TRegistryState& R = Registry();
  R.Closed = true;
  try {
    if (R.Block && R.Mutex) {
      TMutexHold Hold(R.Mutex.get());
      WriteBlock(R.Block, nullptr);
      SharedClose(R.Block);
    }
    if (R.Owns) delete R.Object;
  } catch (...) {
    // Module shutdown goes on whatever happened here.
  }
  R.Object = nullptr;
  R.Owns = false;
  R.Block = nullptr;
  R.Mutex.reset();
}

void ResetUnitRegistryForTesting() {
  ShutDownUnitRegistry();
  Registry().Closed = false;
}

// ------------------------------------------------------------ small helpers
void ReleaseLibraryHandle(void*& Handle) {
  if (Handle) dlclose(Handle);
  Handle = nullptr;
}

void ZeroBlock(void* P, int64_t Size) {
  if (Size > 0 && P) std::memset(P, 0, static_cast<size_t>(Size));
}

char AnsiReplacementChar() { return '?'; }
