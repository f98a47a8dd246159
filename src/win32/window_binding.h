// Ties a window to the C++ object that handles its messages.
#pragma once

#include <windows.h>

namespace brisko {

// The object comes as the creation parameter of CreateWindowExW. On
// WM_NCCREATE it is stored in the window's user data and its handle member
// set; on WM_NCDESTROY both are cleared. Returns the object, or null for the
// messages that come before WM_NCCREATE.
template <typename T>
T* BindWindowObject(HWND hwnd, UINT message, LPARAM lParam, HWND T::*handle) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    self->*handle = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    return self;
  }
  auto* self = reinterpret_cast<T*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self != nullptr && message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    self->*handle = nullptr;
  }
  return self;
}

}  // namespace brisko
