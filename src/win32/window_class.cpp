#include "window_class.h"

#include <string>

namespace brisko {

bool RaiseSystemError(const char* call, RaisedError& error) {
  const DWORD code = GetLastError();
  error.Raise(Text(call) + " failed (system error " + DecimalText(code) + ")");
  return false;
}

bool RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc, HBRUSH background, RaisedError& error) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = proc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, L"MAINICON");
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = background;
  windowClass.lpszClassName = name;
  if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    return RaiseSystemError("RegisterClassEx", error);
  return true;
}

}  // namespace brisko
