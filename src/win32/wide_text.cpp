#include "wide_text.h"

#include <windows.h>

#include <climits>

namespace brisko {

std::wstring Widen(std::string_view text) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int length = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(kProgramCodePage, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  MultiByteToWideChar(kProgramCodePage, 0, text.data(), length, wide.data(), needed);
  return wide;
}

Text NarrowReplacing(std::wstring_view text) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int length = static_cast<int>(text.size());
  // No best fit: a character without a Shift-JIS form of its own becomes the
  // default character and is never approximated by another.
  const DWORD flags = WC_NO_BEST_FIT_CHARS;
  const int needed = WideCharToMultiByte(kProgramCodePage, flags, text.data(), length, nullptr, 0, "?", nullptr);
  if (needed <= 0) return {};
  Text narrow(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(kProgramCodePage, flags, text.data(), length, narrow.data(), needed, "?", nullptr);
  return narrow;
}

std::optional<Text> Narrow(std::wstring_view text) {
  if (text.empty()) return Text();
  if (text.size() > INT_MAX) return std::nullopt;
  const int length = static_cast<int>(text.size());
  BOOL usedDefault = FALSE;
  const int needed = WideCharToMultiByte(kProgramCodePage, WC_NO_BEST_FIT_CHARS, text.data(), length, nullptr, 0,
                                         nullptr, &usedDefault);
  if (needed <= 0 || usedDefault) return std::nullopt;
  Text narrow(static_cast<std::size_t>(needed), '\0');
  WideCharToMultiByte(kProgramCodePage, WC_NO_BEST_FIT_CHARS, text.data(), length, narrow.data(), needed, nullptr,
                      &usedDefault);
  // The conversion's own verdict is not the whole story: a character with no
  // mapping may come back as the code page's default character without the
  // flag, so the text must also convert back to what it was.
  if (usedDefault || Widen(narrow) != text) return std::nullopt;
  return narrow;
}

std::optional<Text> NarrowPath(std::wstring_view path) {
  std::optional<Text> narrow = Narrow(path);
  if (narrow && narrow->size() > kMaxPathBytes) return std::nullopt;
  return narrow;
}

std::optional<std::wstring> WidenPath(std::string_view path) {
  std::wstring wide = Widen(path);
  if (wide.size() > kMaxPathUnits) return std::nullopt;
  return wide;
}

}  // namespace brisko
