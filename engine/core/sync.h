// A mutex and a condition variable for the engine's worker pools. On
// Windows they are the system's slim reader/writer lock and condition
// variable, which wait in user space where they can (Wine runs them on
// futexes); the C++ library's go through event objects there, a server
// request each wait and wake. Elsewhere they are the C++ library's.
#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>

#ifdef _WIN32
#include <windows.h>
#endif

namespace orva {

#ifdef _WIN32

class Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  void lock() { AcquireSRWLockExclusive(&lock_); }
  void unlock() { ReleaseSRWLockExclusive(&lock_); }
  bool try_lock() { return TryAcquireSRWLockExclusive(&lock_) != 0; }

 private:
  friend class CondVar;
  SRWLOCK lock_ = SRWLOCK_INIT;
};

class CondVar {
 public:
  CondVar() = default;
  CondVar(const CondVar&) = delete;
  CondVar& operator=(const CondVar&) = delete;
  void notify_one() { WakeConditionVariable(&cv_); }
  void notify_all() { WakeAllConditionVariable(&cv_); }
  void wait(std::unique_lock<Mutex>& lock) { SleepConditionVariableSRW(&cv_, &lock.mutex()->lock_, INFINITE, 0); }
  template <class Predicate>
  void wait(std::unique_lock<Mutex>& lock, Predicate ready) {
    while (!ready()) wait(lock);
  }
  // A wake-up before the time is up may be spurious, as with the library's.
  std::cv_status wait_for(std::unique_lock<Mutex>& lock, std::chrono::milliseconds time) {
    const DWORD ms = static_cast<DWORD>(time.count());
    if (SleepConditionVariableSRW(&cv_, &lock.mutex()->lock_, ms, 0)) return std::cv_status::no_timeout;
    return GetLastError() == ERROR_TIMEOUT ? std::cv_status::timeout : std::cv_status::no_timeout;
  }

 private:
  CONDITION_VARIABLE cv_ = CONDITION_VARIABLE_INIT;
};

#else

using Mutex = std::mutex;
using CondVar = std::condition_variable;

#endif

// What a worker thread meets and cannot handle (a failed allocation, any
// exception) must not end the process: the worker keeps it, and the run's
// thread throws it again where it next collects the workers' results, so
// that the run ends as one that met it itself.
class WorkerFailure {
 public:
  // Runs work on a worker; what it throws is kept (the first of all) and
  // false returned.
  template <class Work>
  bool Run(Work&& work) noexcept {
    try {
      work();
      return true;
    } catch (...) {
      std::lock_guard<Mutex> lock(m_);
      if (!first_) first_ = std::current_exception();
      failed_.store(true, std::memory_order_release);
      return false;
    }
  }
  // On the run's thread: throws what a worker kept, if anything.
  void Rethrow() {
    if (!failed_.load(std::memory_order_acquire)) return;  // asked once a file: no lock while all is well
    std::exception_ptr kept;
    {
      std::lock_guard<Mutex> lock(m_);
      kept = first_;
    }
    if (kept) std::rethrow_exception(kept);
  }

 private:
  Mutex m_;
  std::exception_ptr first_;
  std::atomic<bool> failed_{false};
};

}  // namespace orva
