// RAII owners for Win32 resources, written once and used everywhere. Each
// type knows its own invalid value and how to release it.
#pragma once

#include <windows.h>
#include <winsvc.h>
#include <unknwn.h>

#include <utility>

namespace kestrune {

template <typename T, T Invalid, typename Close>
class UniqueResource {
 public:
  UniqueResource() noexcept = default;
  explicit UniqueResource(T value) noexcept : value_(value) {}
  ~UniqueResource() { reset(); }
  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;

  T get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != Invalid; }
  // For out-parameters of creating calls; releases what was held.
  T* put() noexcept {
    reset();
    return &value_;
  }
  T release() noexcept { return std::exchange(value_, Invalid); }
  void reset(T value = Invalid) noexcept {
    T old = std::exchange(value_, value);
    if (old != Invalid) Close{}(old);
  }

 private:
  T value_ = Invalid;
};

struct CloseHandleFn {
  void operator()(HANDLE h) const noexcept { ::CloseHandle(h); }
};
struct RegCloseKeyFn {
  void operator()(HKEY k) const noexcept { ::RegCloseKey(k); }
};
struct CloseServiceHandleFn {
  void operator()(SC_HANDLE h) const noexcept { ::CloseServiceHandle(h); }
};
struct UnmapViewFn {
  void operator()(void* p) const noexcept { ::UnmapViewOfFile(p); }
};
struct LocalFreeFn {
  void operator()(void* p) const noexcept { ::LocalFree(p); }
};
struct FreeLibraryFn {
  void operator()(HMODULE m) const noexcept { ::FreeLibrary(m); }
};

// Events, threads, processes, mappings, mutexes: null is invalid.
using UniqueHandle = UniqueResource<HANDLE, nullptr, CloseHandleFn>;
// Files, pipes and toolhelp snapshots: INVALID_HANDLE_VALUE is invalid.
class UniqueFileHandle {
 public:
  UniqueFileHandle() noexcept = default;
  explicit UniqueFileHandle(HANDLE h) noexcept : h_(h) {}
  ~UniqueFileHandle() { reset(); }
  UniqueFileHandle(UniqueFileHandle&& o) noexcept : h_(o.release()) {}
  UniqueFileHandle& operator=(UniqueFileHandle&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  UniqueFileHandle(const UniqueFileHandle&) = delete;
  UniqueFileHandle& operator=(const UniqueFileHandle&) = delete;
  HANDLE get() const noexcept { return h_; }
  explicit operator bool() const noexcept { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
  HANDLE release() noexcept { return std::exchange(h_, INVALID_HANDLE_VALUE); }
  void reset(HANDLE h = INVALID_HANDLE_VALUE) noexcept {
    HANDLE old = std::exchange(h_, h);
    if (old != INVALID_HANDLE_VALUE && old != nullptr) ::CloseHandle(old);
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

using UniqueHKey = UniqueResource<HKEY, nullptr, RegCloseKeyFn>;
using UniqueScHandle = UniqueResource<SC_HANDLE, nullptr, CloseServiceHandleFn>;
using UniqueView = UniqueResource<void*, nullptr, UnmapViewFn>;
using UniqueLocal = UniqueResource<void*, nullptr, LocalFreeFn>;
using UniqueModule = UniqueResource<HMODULE, nullptr, FreeLibraryFn>;

// Minimal owning COM pointer.
template <typename T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr& o) noexcept : p_(o.p_) {
    if (p_) p_->AddRef();
  }
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  // Takes over one reference the caller already owns.
  static ComPtr attach(T* p) noexcept {
    ComPtr c;
    c.p_ = p;
    return c;
  }
  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  T** put() noexcept {
    reset();
    return &p_;
  }
  void** putVoid() noexcept { return reinterpret_cast<void**>(put()); }
  T* detach() noexcept { return std::exchange(p_, nullptr); }
  void reset() noexcept {
    if (T* old = std::exchange(p_, nullptr)) old->Release();
  }

 private:
  T* p_ = nullptr;
};

// Runs a callable when the scope ends; for one-off clean-ups.
template <typename F>
class ScopeExit {
 public:
  explicit ScopeExit(F f) noexcept : f_(std::move(f)) {}
  ~ScopeExit() {
    if (active_) f_();
  }
  void dismiss() noexcept { active_ = false; }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  F f_;
  bool active_ = true;
};

}  // namespace kestrune
