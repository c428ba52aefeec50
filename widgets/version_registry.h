#pragma once
// The support units' version records and the process-wide registry that
// holds them, with the synchronisation wrappers and named shared memory the
// registry is built on.
//
// Every module (the program and each shared library) keeps its own copy of
// this code; they meet through a named mutex and a named shared-memory block
// whose names carry the process id. The block holds the registry object's
// full 64-bit address, or 0 when there is none, so only the modules of one
// process share a registry.
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/rtl/sysutils.h"

// A loaded module: the base address the dynamic loader mapped it at.
using HMODULE = uintptr_t;
// This module's handle.
HMODULE OxThisModule();

// ------------------------------------------------------------ exceptions
class EOslError : public Exception {
 public:
  using Exception::Exception;
  std::string ClassName() const override { return "EOslError"; }
};
class EOslInternalError : public EOslError {
 public:
  using EOslError::EOslError;
  std::string ClassName() const override { return "EOslInternalError"; }
};
class ESharedMemError : public EOslError {
 public:
  using EOslError::EOslError;
  std::string ClassName() const override { return "ESharedMemError"; }
};
// A failed system call: the error number, its text and what was attempted
// ("Win32 error: %s (%u)%s%s", as the message has always read).
class EOslWin32Error : public EOslError {
 public:
  explicit EOslWin32Error(const std::string& What);
  EOslWin32Error(uint32_t Code, const std::string& What);
  std::string ClassName() const override { return "EOslWin32Error"; }
  uint32_t LastErrorCode = 0;
  std::string LastErrorText;
};
class EOslMutexError : public EOslWin32Error {
 public:
  using EOslWin32Error::EOslWin32Error;
  std::string ClassName() const override { return "EOslMutexError"; }
};

// ------------------------------------------------------------ synchronisation
enum TWaitOutcome : uint8_t { woAbandoned, woError, woIOCompletion, woSignaled, woTimeout };
constexpr uint32_t INFINITE_WAIT = 0xFFFFFFFFu;

// A kernel object one can wait for.
class TOslDispatcherObject {
 public:
  virtual ~TOslDispatcherObject() = default;
  // Waits up to Timeout milliseconds (INFINITE_WAIT: no limit).
  virtual TWaitOutcome AwaitSignal(uint32_t Timeout) = 0;
};

// The platform's wait results and their outcome.
enum : uint32_t { WAIT_OBJECT_0 = 0, WAIT_ABANDONED = 0x80, WAIT_IO_COMPLETION = 0xC0, WAIT_TIMEOUT = 0x102,
                  WAIT_FAILED = 0xFFFFFFFFu };
TWaitOutcome WaitOutcomeOf(uint32_t WaitResult);

// A named mutex shared by the modules of the system (a POSIX named
// semaphore); the creator removes the name when it frees the mutex.
class TOslMutex : public TOslDispatcherObject {
 public:
  // Raises EOslMutexError "Failed to create mutex" when the system refuses.
  TOslMutex(bool InitialOwner, const std::string& Name);
  ~TOslMutex() override;
  TWaitOutcome AwaitSignal(uint32_t Timeout) override;
  void ReleaseOwnership();
  const std::string& GetName() const { return FName; }
  // True when the mutex existed before this object opened it.
  bool GetExisted() const { return FExisted; }

 private:
  std::string FName;
  std::string FSystemName;
  bool FExisted = false;
  void* FSemaphore = nullptr;
};

class TOslCriticalSection {
 public:
  TOslCriticalSection() = default;
  virtual ~TOslCriticalSection() = default;
  void Enter() { FLock.lock(); }
  void Leave() { FLock.unlock(); }

 private:
  std::recursive_mutex FLock;
};

// A critical section held for as long as a reference to it is: taking a
// reference enters, dropping it leaves.
class TOslIntfCriticalSection {
 public:
  class TReference {
   public:
    explicit TReference(TOslIntfCriticalSection* S) : FS(S) {
      if (FS) FS->FLock.Enter();
    }
    ~TReference() {
      if (FS) FS->FLock.Leave();
    }
    TReference(const TReference&) = delete;
    TReference& operator=(const TReference&) = delete;

   private:
    TOslIntfCriticalSection* FS;
  };
  TReference Acquire() { return TReference(this); }

 private:
  TOslCriticalSection FLock;
};

// ------------------------------------------------------------ shared memory
// Desired access of a view.
enum : uint32_t { FILE_MAP_COPY = 0x1, FILE_MAP_WRITE = 0x2, FILE_MAP_READ = 0x4, FILE_MAP_ALL_ACCESS = 0x000F001F };
constexpr uint32_t ERROR_ALREADY_EXISTS = 183;

// Maps the named block of Size bytes, creating it when it does not exist.
// A second open of the same name in this module returns the same view and
// counts it. Answers ERROR_ALREADY_EXISTS when the block existed, else 0.
// Size 0 for a block that does not exist raises ESharedMemError
// "The MMF named \"%s\" cannot be created empty"; system failures raise
// EOSError.
uint32_t SharedOpenOrCreate(void*& View, const std::string& Name, uint32_t Size, uint32_t DesiredAccess);
// Releases one open of View (the last one unmaps it and removes the name);
// View becomes nullptr. False, View unchanged, when it is not an open view.
bool SharedClose(void*& View);
// How many opens of Name this module holds (0 when none).
int32_t SharedOpenCount(const std::string& Name);

// ------------------------------------------------------------ unit versions
struct TUnitVersionInfo {
  std::string SourceLocation;
  std::string RevisionText;
  std::string DateText;
  std::string LogFolder;
  std::string ExtraText;
  void* UserData = nullptr;
};

class TUnitVersion {
 public:
  explicit TUnitVersion(const TUnitVersionInfo* Info) : FInfo(Info) {}
  const TUnitVersionInfo* Info() const { return FInfo; }

 private:
  const TUnitVersionInfo* FInfo;
};

class TUnitVersioningModule {
 public:
  explicit TUnitVersioningModule(HMODULE Instance) : FInstance(Instance) {}
  HMODULE Instance() const { return FInstance; }
  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  const TUnitVersion* Items(int32_t Index) const { return FItems[static_cast<size_t>(Index)].get(); }
  // Adds Info unless that same record is there already.
  void Add(const TUnitVersionInfo* Info);

 private:
  HMODULE FInstance;
  std::vector<std::unique_ptr<TUnitVersion>> FItems;
};

class TUnitVersioning {
 public:
  virtual ~TUnitVersioning() = default;
  virtual void AddInfo(HMODULE Instance, const TUnitVersionInfo* Info);
  // Drops the last module with that handle and all its records.
  virtual void DropModule(HMODULE Instance);
  int32_t ModuleCount() const { return static_cast<int32_t>(FModules.size()); }
  const TUnitVersioningModule* Modules(int32_t Index) const { return FModules[static_cast<size_t>(Index)].get(); }
  // The module with that handle, nullptr when none.
  const TUnitVersioningModule* FindModule(HMODULE Instance) const;

 private:
  std::vector<std::unique_ptr<TUnitVersioningModule>> FModules;
};

// The registry, created on first use; nullptr once shut down.
TUnitVersioning* AcquireUnitRegistry();
void RegisterUnitRecord(HMODULE Instance, const TUnitVersionInfo* Info);
void UnregisterUnitRecords(HMODULE Instance);
// Writes 0 into the shared block, closes it, frees the registry when this
// module made it and the mutex; registration does nothing afterwards.
// Failures are swallowed so module shutdown goes on.
void ShutDownUnitRegistry();
// For tests: the registry's state as a fresh module sees it.
void ResetUnitRegistryForTesting();
// The names of the registry's mutex and shared block in this process.
std::string UnitRegistryMutexName();
std::string UnitRegistryBlockName();

// ------------------------------------------------------------ small helpers
// Unloads a library opened with dlopen when Handle is set; Handle becomes
// nullptr.
void ReleaseLibraryHandle(void*& Handle);
// Clears Size bytes at P (nothing when Size is 0 or less).
void ZeroBlock(void* P, int64_t Size);
// The character that stands for one that cannot be converted to 8 bits.
char AnsiReplacementChar();
