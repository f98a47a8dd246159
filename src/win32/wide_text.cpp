#include "wide_text.h"

#include <windows.h>

#include <climits>

namespace brisko {
namespace {

constexpr UINT kShiftJis = 932;

std::wstring ToWide(UINT codePage, std::string_view text) {
  if (text.empty() || text.size() > INT_MAX) return {};
  const int length = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  if (needed <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), needed);
  return wide;
}

}  // namespace

std::wstring FixedTextToWide(std::string_view shiftJis) { return ToWide(kShiftJis, shiftJis); }
std::wstring AnsiToWide(std::string_view ansi) { return ToWide(CP_ACP, ansi); }

}  // namespace brisko
