#include "base/thread.h"

#include "base/log.h"

Mutex::Mutex() {
  semaphore_ = CreateSemaphoreW(nullptr, 1, 1, nullptr);
  if (!semaphore_) nv::log << "CreateSemaphore: " << unsigned(GetLastError()) << nv::endl;
}

Mutex::~Mutex() {
  if (semaphore_) CloseHandle(semaphore_);
}

void Mutex::lock() {
  if (WaitForSingleObject(semaphore_, INFINITE) == WAIT_FAILED)
    nv::log << "Mutex::lock WaitForSingleObject: " << unsigned(GetLastError()) << nv::endl;
}

void Mutex::unlock() {
  if (!ReleaseSemaphore(semaphore_, 1, nullptr)) {
    nv::log << "Mutex::unlock ReleaseSemaphore: " << unsigned(GetLastError()) << nv::endl;
    nv::assertFailed("0", "virtual void Mutex::unlock()", "base/thread.cpp", 100);
  }
}

bool Mutex::tryLock() {
  DWORD r = WaitForSingleObject(semaphore_, 0);
  if (r == WAIT_OBJECT_0) return true;
  if (r == WAIT_FAILED)
    nv::log << "Mutex::tryLock WaitForSingleObject: " << unsigned(GetLastError()) << nv::endl;
  return false;
}

Mutex* makeMutex() { return new Mutex(); }

namespace nv {
Mutex& logLock() {
  // Made on first use and kept to process exit: threads may still log while
  // static teardown runs.
  static Mutex* lock = [] { Mutex* m = makeMutex(); m->addRef(); return m; }();
  return *lock;
}
}  // namespace nv
