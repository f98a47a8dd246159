#include "system_calls.h"

#include <array>
#include <cstddef>
#include <string>

namespace brisko {
namespace {

enum Call : std::size_t { kCreateFileW, kWriteFile, kFlushFileBuffers, kMoveFileExW, kCoCreateInstance, kCallCount };

constexpr std::array<std::string_view, kCallCount> kCallNames = {
    "CreateFileW", "WriteFile", "FlushFileBuffers", "MoveFileExW", "CoCreateInstance"};

// Per call: 0 when it never fails, else the number of the first call that
// fails (1 for every call). Calls are counted from the moment of selection.
std::array<unsigned, kCallCount> failFrom{};
std::array<unsigned, kCallCount> callCount{};

bool Fails(Call call) {
  ++callCount[call];
  return failFrom[call] != 0 && callCount[call] >= failFrom[call];
}

HANDLE WINAPI CreateFileHook(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                             DWORD disposition, DWORD flags, HANDLE templateFile) {
  if (Fails(kCreateFileW)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return ::CreateFileW(name, access, share, security, disposition, flags, templateFile);
}

BOOL WINAPI WriteFileHook(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
  if (!Fails(kWriteFile)) return ::WriteFile(file, data, size, written, overlapped);
  DWORD partial = 0;
  if (size / 2 > 0) ::WriteFile(file, data, size / 2, &partial, overlapped);
  if (written != nullptr) *written = partial;
  SetLastError(ERROR_DISK_FULL);
  return FALSE;
}

BOOL WINAPI FlushHook(HANDLE file) {
  if (Fails(kFlushFileBuffers)) {
    SetLastError(ERROR_WRITE_FAULT);
    return FALSE;
  }
  return ::FlushFileBuffers(file);
}

BOOL WINAPI MoveFileHook(LPCWSTR from, LPCWSTR to, DWORD flags) {
  if (Fails(kMoveFileExW)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return ::MoveFileExW(from, to, flags);
}

HRESULT WINAPI CoCreateInstanceHook(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object) {
  if (Fails(kCoCreateInstance)) {
    if (object != nullptr) *object = nullptr;
    return REGDB_E_CLASSNOTREG;
  }
  return ::CoCreateInstance(clsid, outer, context, iid, object);
}

constexpr SystemCalls kRealCalls = {::CreateFileW, ::WriteFile, ::FlushFileBuffers, ::MoveFileExW,
                                    ::CoCreateInstance};
constexpr SystemCalls kHookedCalls = {CreateFileHook, WriteFileHook, FlushHook, MoveFileHook,
                                      CoCreateInstanceHook};

// Parses "Name" or "Name#N" (N >= 1).
bool ParseItem(std::string_view item, std::array<unsigned, kCallCount>& from) {
  std::string_view name = item;
  unsigned first = 1;
  if (const auto hash = item.find('#'); hash != std::string_view::npos) {
    name = item.substr(0, hash);
    const std::string_view digits = item.substr(hash + 1);
    if (digits.empty() || digits.size() > 6) return false;
    first = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return false;
      first = first * 10 + static_cast<unsigned>(c - '0');
    }
    if (first == 0) return false;
  }
  for (std::size_t i = 0; i < kCallCount; ++i) {
    if (kCallNames[i] == name) {
      from[i] = first;
      return true;
    }
  }
  return false;
}

SystemCalls table = kRealCalls;

bool Select(std::string_view selection) {
  std::array<unsigned, kCallCount> from{};
  while (!selection.empty()) {
    const auto comma = selection.find(',');
    if (!ParseItem(selection.substr(0, comma), from)) return false;
    if (comma == std::string_view::npos) break;
    selection = selection.substr(comma + 1);
    if (selection.empty()) return false;  // a trailing comma names nothing
  }
  failFrom = from;
  callCount = {};
  bool any = false;
  for (unsigned f : from) any = any || f != 0;
  // Without a selection the real calls are used directly, so a normal run
  // pays nothing for the hook.
  table = any ? kHookedCalls : kRealCalls;
  return true;
}

void ReadEnvironmentOnce() {
  static const bool done = [] {
    char selection[256];
    const DWORD length = GetEnvironmentVariableA("BRISKO_FAIL", selection, sizeof selection);
    if (length > 0 && length < sizeof selection) Select(std::string_view(selection, length));
    return true;
  }();
  (void)done;
}

}  // namespace

const SystemCalls& Sys() {
  ReadEnvironmentOnce();
  return table;
}

bool SetFailingCalls(std::string_view selection) {
  ReadEnvironmentOnce();
  return Select(selection);
}

}  // namespace brisko
