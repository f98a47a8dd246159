// Owners for the Windows layer's handles and COM pointers.
//
// Each handle kind gets a traits struct that names its type, its invalid
// value and its close call; unique_handle<Traits> frees the handle on every
// way out. Closing keeps GetLastError, so an owner going out of scope after a
// failed call does not overwrite the error the caller is about to report.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <type_traits>
#include <utility>

#include "system_calls.h"

namespace brisko {

template <typename Traits>
class unique_handle {
 public:
  using pointer = typename Traits::pointer;

  static_assert(std::is_trivially_copyable_v<pointer>, "handles are plain values");
  static_assert(std::is_same_v<decltype(Traits::invalid()), pointer>,
                "traits name the invalid value of their own handle type");
  static_assert(noexcept(Traits::close(std::declval<pointer>())), "closing never throws");

  unique_handle() noexcept = default;
  explicit unique_handle(pointer value) noexcept : value_(value) {}
  unique_handle(const unique_handle&) = delete;
  unique_handle& operator=(const unique_handle&) = delete;
  unique_handle(unique_handle&& other) noexcept : value_(other.release()) {}
  unique_handle& operator=(unique_handle&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~unique_handle() { reset(); }

  pointer get() const noexcept { return value_; }
  explicit operator bool() const noexcept { return value_ != Traits::invalid(); }

  pointer release() noexcept { return std::exchange(value_, Traits::invalid()); }

  // Storing the handle already held does nothing; anything else closes the
  // old one first.
  void reset(pointer value = Traits::invalid()) noexcept {
    if (value_ == value) return;
    const pointer old = std::exchange(value_, value);
    if (old != Traits::invalid()) {
      const DWORD error = GetLastError();
      Traits::close(old);
      SetLastError(error);
    }
  }

  // Frees what is held and hands out the slot for an out-parameter.
  pointer* put() noexcept {
    reset();
    return &value_;
  }

 private:
  pointer value_ = Traits::invalid();
};

// What a handle kind's traits share: its type, and the value its opening
// call fails with, null or all ones (INVALID_HANDLE_VALUE).
enum class FailsAs { kNull, kAllOnes };

template <typename Pointer, FailsAs failure = FailsAs::kNull>
struct HandleKind {
  using pointer = Pointer;
  static pointer invalid() noexcept {
    return failure == FailsAs::kNull ? pointer{} : reinterpret_cast<pointer>(static_cast<INT_PTR>(-1));
  }
};

// Kernel objects opened with CreateFile and friends.
struct FileHandleTraits : HandleKind<HANDLE, FailsAs::kAllOnes> {
  static void close(pointer h) noexcept { Sys().CloseHandle(h); }
};
// Threads and other kernel objects whose failure value is null.
struct KernelHandleTraits : HandleKind<HANDLE> {
  static void close(pointer h) noexcept { Sys().CloseHandle(h); }
};
struct FindHandleTraits : HandleKind<HANDLE, FailsAs::kAllOnes> {
  static void close(pointer h) noexcept { Sys().FindClose(h); }
};
struct RegKeyTraits : HandleKind<HKEY> {
  static void close(pointer h) noexcept { Sys().RegCloseKey(h); }
};
// GDI objects (fonts, bitmaps), freed with DeleteObject: never while one is
// selected into a device context.
template <typename Handle>
struct GdiObjectTraits : HandleKind<Handle> {
  using typename HandleKind<Handle>::pointer;
  static void close(pointer h) noexcept { ::DeleteObject(h); }
};

// Shell item lists belong to the shell allocator. When the allocator cannot
// be had, nothing is released: that is all the shell offers then.
struct ItemListTraits : HandleKind<LPITEMIDLIST> {
  static void close(pointer list) noexcept {
    IMalloc* allocator = nullptr;
    if (FAILED(Sys().SHGetMalloc(&allocator)) || allocator == nullptr) return;
    allocator->Free(list);
    allocator->Release();
  }
};

using unique_hfile = unique_handle<FileHandleTraits>;
using unique_hfind = unique_handle<FindHandleTraits>;
using unique_handle_null = unique_handle<KernelHandleTraits>;
using unique_hkey = unique_handle<RegKeyTraits>;
using unique_hfont = unique_handle<GdiObjectTraits<HFONT>>;
using unique_hbitmap = unique_handle<GdiObjectTraits<HBITMAP>>;
using unique_item_list = unique_handle<ItemListTraits>;

// A device context of a window (or of the screen, for null) from GetDC,
// given back with ReleaseDC.
class window_dc {
 public:
  explicit window_dc(HWND hwnd) noexcept : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
  window_dc(const window_dc&) = delete;
  window_dc& operator=(const window_dc&) = delete;
  ~window_dc() {
    if (dc_ != nullptr) ::ReleaseDC(hwnd_, dc_);
  }

  HDC get() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

 private:
  HWND hwnd_;
  HDC dc_;
};

// Painting a window: BeginPaint for the life of the scope, then EndPaint.
class paint_scope {
 public:
  explicit paint_scope(HWND hwnd) noexcept : hwnd_(hwnd), dc_(::BeginPaint(hwnd, &paint_)) {}
  paint_scope(const paint_scope&) = delete;
  paint_scope& operator=(const paint_scope&) = delete;
  ~paint_scope() { ::EndPaint(hwnd_, &paint_); }

  HDC get() const noexcept { return dc_; }

 private:
  HWND hwnd_;
  PAINTSTRUCT paint_{};
  HDC dc_;
};

// An owning pointer to a COM interface: Release on every way out.
template <typename T>
class com_ptr {
 public:
  com_ptr() noexcept = default;
  com_ptr(const com_ptr&) = delete;
  com_ptr& operator=(const com_ptr&) = delete;
  com_ptr(com_ptr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  com_ptr& operator=(com_ptr&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = std::exchange(other.p_, nullptr);
    }
    return *this;
  }
  ~com_ptr() { reset(); }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  void reset() noexcept {
    if (T* old = std::exchange(p_, nullptr)) {
      const DWORD error = GetLastError();
      old->Release();
      SetLastError(error);
    }
  }

  // For T** out-parameters; releases what is held first.
  T** put() noexcept {
    reset();
    return &p_;
  }
  // For the void** out-parameters of CoCreateInstance and QueryInterface.
  void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

  // QueryInterface into another owner; empty on failure.
  template <typename U>
  com_ptr<U> as(REFIID iid) const noexcept {
    com_ptr<U> other;
    if (p_ != nullptr) p_->QueryInterface(iid, other.put_void());
    return other;
  }

 private:
  T* p_ = nullptr;
};

// COM on this thread for the life of the scope. Only an initialisation that
// succeeded (S_OK or S_FALSE) is undone: uninitialising after a refused one
// (a thread already in the multithreaded apartment) would tear down the
// caller's COM.
class com_scope {
 public:
  com_scope() noexcept : initialised_(SUCCEEDED(Sys().CoInitialize(nullptr))) {}
  com_scope(const com_scope&) = delete;
  com_scope& operator=(const com_scope&) = delete;
  ~com_scope() {
    if (initialised_) Sys().CoUninitialize();
  }

 private:
  bool initialised_;
};

}  // namespace brisko
