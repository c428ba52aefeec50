#pragma once
// Threads, recursive critical sections, events and a locked list.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/rtl/lists.h"
#include "platform/rtl/object.h"

constexpr uint32_t INFINITE = 0xFFFFFFFF;

enum TWaitResult : uint8_t { wrSignaled, wrTimeout, wrAbandoned, wrError };

// A worker thread. Execute runs in the new thread once Start (or Resume) is
// called. A base-class constructor cannot start it safely in C++ (Execute
// belongs to the derived class, which is not built yet), so the thread always
// waits for Start: call it when the object is complete, at the end of the
// most-derived constructor or after new. CreateSuspended is kept for the class
// library's shape and changes nothing.
// An exception escaping Execute is caught and its text kept in
// GetFatalException(). OnTerminate is called in the worker thread after
// Execute (the GUI layer marshals it where needed).
// Destroying the object asks the thread to terminate and waits for it, but
// only after the derived destructors ran: a derived class whose Execute uses
// its own members calls Terminate() and WaitFor() in its destructor.
// Destroying a thread that never started is safe. With FreeOnTerminate the
// thread deletes its own object when it ends (then nobody may wait on it).
class TThread : public TObject {
 public:
  explicit TThread(bool CreateSuspended);
  ~TThread() override;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  void Resume();  // starts a suspended thread (no effect once started)
  void Start();
  void Terminate();  // sets Terminated; Execute is expected to check it
  // Waits for the end of Execute and answers ReturnValue. Raises EThread
  // "Cannot call WaitFor on a thread that is not started" when never started
  // and "A thread cannot wait for itself" inside Execute.
  uint32_t WaitFor();
  bool GetTerminated() const { return FTerminated.load(); }
  bool GetFinished() const { return FFinished.load(); }
  bool GetSuspended() const { return !FStarted.load(); }
  bool GetFreeOnTerminate() const { return FFreeOnTerminate.load(); }
  void SetFreeOnTerminate(bool Value) { FFreeOnTerminate = Value; }
  // The system's id of the worker thread, 0 until it runs.
  uint64_t GetThreadID() const { return FThreadID.load(); }
  // Message of the exception that ended Execute, "" when none.
  std::string GetFatalException() const;
  int32_t GetReturnValue() const { return ReturnValue.load(); }

  // Runs Method in the main thread and waits for it; an exception it raises
  // comes back here. Where no dispatcher is installed (or when called in the
  // main thread) it runs directly. The method reaches the main thread through
  // the dispatcher (without waiting there), and also through WaitFor or a
  // destructor running in the main thread, which serve pending methods while
  // they wait: stopping a thread that sits in Synchronize cannot deadlock.
  void Synchronize(const std::function<void()>& Method);
  // Runs the Synchronize methods waiting for the main thread (only there);
  // answers whether any ran. The GUI layer may call it when idle.
  static bool CheckSynchronize();
  // Runs Method in the main thread without waiting (directly when no
  // dispatcher is installed or in the main thread).
  void Queue(const std::function<void()>& Method);
  // Installed by the GUI layer: runs a method in the main thread, either
  // waiting for it (Wait = true) or not. This class only asks with
  // Wait = false.
  using TMainThreadDispatcher = std::function<void(std::function<void()> Method, bool Wait)>;
  static void SetMainThreadDispatcher(TMainThreadDispatcher Dispatcher);
  // True in the program's main thread.
  static bool IsMainThread();
  static uint64_t CurrentThreadID();

  std::function<void(TThread* Sender)> OnTerminate;
  std::atomic<int32_t> ReturnValue{0};

 protected:
  virtual void Execute() = 0;
  bool Terminated() const { return FTerminated.load(); }
  // Called in the worker thread when Execute ended; calls OnTerminate.
  virtual void DoTerminate();

 private:
  void Run();
  void WaitUntilFinished();

  std::thread FThread;
  std::atomic<bool> FStarted{false};
  std::atomic<bool> FTerminated{false};
  std::atomic<bool> FFinished{false};
  std::atomic<bool> FFreeOnTerminate{false};
  std::atomic<uint64_t> FThreadID{0};
  mutable std::mutex FLock;
  std::condition_variable FFinishedCond;
  std::string FFatalException;
  bool FCreateSuspended = false;
};

// A recursive lock: the owning thread may enter again; each Enter needs a Leave.
class TCriticalSection : public TObject {
 public:
  void Enter() { FMutex.lock(); }
  void Leave() { FMutex.unlock(); }
  void Acquire() { FMutex.lock(); }
  void Release() { FMutex.unlock(); }
  bool TryEnter() { return FMutex.try_lock(); }

 private:
  std::recursive_mutex FMutex;
};

// An event object. A manual-reset event stays signalled until ResetEvent; an
// automatic one lets one waiter through and resets itself.
class TEvent : public TObject {
 public:
  explicit TEvent(bool ManualReset = true, bool InitialState = false);
  void SetEvent();
  void ResetEvent();
  // Timeout in milliseconds, INFINITE to wait for ever.
  TWaitResult WaitFor(uint32_t Timeout = INFINITE);

 private:
  std::mutex FMutex;
  std::condition_variable FCond;
  bool FManualReset;
  bool FSignaled;
};

// A manual-reset event that starts unsignalled.
class TSimpleEvent : public TEvent {
 public:
  TSimpleEvent() : TEvent(true, false) {}
};

// A TList behind a lock: LockList enters and answers the list, UnlockList
// leaves. Add ignores duplicates unless Duplicates is dupAccept (dupError
// raises EListError "List does not allow duplicates").
class TThreadList : public TObject {
 public:
  TThreadList() = default;
  void Add(void* Item);
  void Remove(void* Item);
  void Clear();
  TList* LockList();
  void UnlockList();
  TDuplicates GetDuplicates() const { return FDuplicates; }
  void SetDuplicates(TDuplicates Value) { FDuplicates = Value; }

 private:
  TList FList;
  TCriticalSection FLock;
  TDuplicates FDuplicates = dupIgnore;
};
