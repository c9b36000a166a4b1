#pragma once
// Mutex: the program's one lock type, a non-recursive lock over a Win32
// semaphore with one permit. Any thread may unlock it.
//
//   Ref<Mutex> lock = makeMutex();
//   { MutexLock held(*lock); ... }

#include <windows.h>

#include "base/ibase.h"

class Mutex : public RefCounted<> {
public:
  Mutex();
  ~Mutex() override;
  virtual void lock();
  virtual void unlock();
  virtual bool tryLock();
  virtual HANDLE getHandle() { return semaphore_; }

private:
  HANDLE semaphore_;  // owned; null when its creation failed
};

// A Mutex on the heap with count 0; the caller's holder adds the first reference.
Mutex* makeMutex();

// Holds a Mutex for the lifetime of a scope.
class MutexLock {
public:
  explicit MutexLock(Mutex& m) : m_(m) { m_.lock(); }
  ~MutexLock() { m_.unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

private:
  Mutex& m_;
};

namespace nv {
// Held by worker threads while they write a piece of a message to the log.
Mutex& logLock();
}  // namespace nv
