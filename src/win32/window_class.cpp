#include "window_class.h"

#include <string>

#include "core/errors.h"

namespace brisko {

void ThrowSystemError(const char* call) {
  const DWORD error = GetLastError();
  throw Error(std::string(call) + " failed (system error " + std::to_string(error) + ")");
}

void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc, HBRUSH background) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = proc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconW(instance, L"MAINICON");
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = background;
  windowClass.lpszClassName = name;
  if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
    ThrowSystemError("RegisterClassEx");
}

}  // namespace brisko
