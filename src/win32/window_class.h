// Window classes and window creation that report the system's error.
#pragma once

#include <windows.h>

namespace brisko {

// Registers the window class `name` of `instance`, with the main icon, the
// arrow cursor and `background` (null for none). A class that is already
// registered is no failure. Throws Error with the system's error otherwise.
void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc, HBRUSH background);

// Throws Error naming `call` and the system's error that GetLastError holds.
[[noreturn]] void ThrowSystemError(const char* call);

}  // namespace brisko
