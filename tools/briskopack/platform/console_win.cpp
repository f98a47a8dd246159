// The console on Windows: arguments come from the UTF-16 command line, and
// text reaches a console as UTF-16, anything else as UTF-8.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <memory>

#include "platform/console.h"
#include "platform/unicode.h"

namespace brisko::pack {

namespace {

// Code units a call to WriteConsoleW takes at most: older consoles refuse
// much larger writes.
constexpr std::size_t kConsoleChunk = 8192;

bool WriteConsole(HANDLE console, std::u16string_view text) {
  while (!text.empty()) {
    std::size_t n = std::min(text.size(), kConsoleChunk);
    if (n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] < 0xDC00) --n;  // a pair stays together
    DWORD written = 0;
    if (!WriteConsoleW(console, text.data(), static_cast<DWORD>(n), &written, nullptr) || written == 0) return false;
    text.remove_prefix(written);
  }
  return true;
}

std::string WideToUtf8(const wchar_t* wide) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide), std::wcslen(wide)));
}

}  // namespace

bool WriteText(StandardStream stream, std::string_view utf8) {
  const HANDLE handle = GetStdHandle(stream == StandardStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
  DWORD mode = 0;
  if (handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode))
    return WriteConsole(handle, Utf8ToUtf16(utf8));
  // A file or a pipe: the bytes, through the C library's text mode, which
  // ends lines with CR LF as Windows programs do.
  std::FILE* file = stream == StandardStream::Output ? stdout : stderr;
  return std::fwrite(utf8.data(), 1, utf8.size(), file) == utf8.size() && std::fflush(file) == 0;
}

std::vector<std::string> CommandLineArguments(int, char**) {
  int count = 0;
  const std::unique_ptr<wchar_t*, decltype(&LocalFree)> wide(CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
  std::vector<std::string> arguments;
  for (int i = 1; wide && i < count; ++i) arguments.push_back(WideToUtf8(wide.get()[i]));
  return arguments;
}

std::string SystemText(std::string text) {
  const int n =
      MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return text;
  std::u16string wide(static_cast<std::size_t>(n), u'\0');
  MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                      reinterpret_cast<wchar_t*>(wide.data()), n);
  return Utf16ToUtf8(wide);
}

}  // namespace brisko::pack
