// Owned references and the scope guards (pending exception, mutex) of the
// tarvex runtime.
#pragma once

#include <utility>

#include "tarvex/_runtime/compat.h"

namespace tarvex::rt {

// One strong reference, released when the handle goes.
class Ref {
 public:
  Ref() noexcept = default;
  explicit Ref(PyObject* owned) noexcept : p_(owned) {}
  static Ref borrow(PyObject* o) noexcept { return Ref(Py_XNewRef(o)); }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  Ref& operator=(Ref&& o) noexcept {
    if (this != &o) reset(std::exchange(o.p_, nullptr));
    return *this;
  }
  ~Ref() { Py_XDECREF(p_); }
  PyObject* get() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  PyObject* release() noexcept { return std::exchange(p_, nullptr); }
  void reset(PyObject* owned = nullptr) noexcept {
    PyObject* old = std::exchange(p_, owned);
    Py_XDECREF(old);
  }

 private:
  PyObject* p_ = nullptr;
};

// Sets the pending exception aside for the scope and puts it back on exit,
// so that a deallocator's work neither sees nor clobbers it. An exception
// left pending inside the scope is dropped on exit: report it first.
class ErrorScope {
 public:
  ErrorScope() noexcept : saved_(PyErr_GetRaisedException()) {}
  ErrorScope(const ErrorScope&) = delete;
  ErrorScope& operator=(const ErrorScope&) = delete;
  ~ErrorScope() { PyErr_SetRaisedException(saved_); }

 private:
  PyObject* saved_;
};

// Holds a PyMutex for the scope.
class MutexLock {
 public:
  explicit MutexLock(PyMutex* m) noexcept : m_(m) { PyMutex_Lock(m_); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;
  ~MutexLock() { PyMutex_Unlock(m_); }

 private:
  PyMutex* m_;
};

}  // namespace tarvex::rt
