// Window classes and window creation that report the system's error.
#pragma once

#include <windows.h>

#include "core/errors.h"

namespace brisko {

// Registers the window class `name` of `instance`, with the main icon, the
// arrow cursor and `background` (null for none). A class that is already
// registered is no failure. Otherwise raises into `error` with the system's
// error and returns false.
bool RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc, HBRUSH background, RaisedError& error);

// Raises into `error` naming `call` and the system's error that GetLastError
// holds; returns false, for the caller to return.
bool RaiseSystemError(const char* call, RaisedError& error);

}  // namespace brisko
