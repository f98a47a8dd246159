// The system calls of the Windows layer that can fail in ways a test cannot
// easily bring about (a full disk, a COM server that is not registered). They
// are called through this table, so that a test can make any of them fail.
//
// Test hook: the environment variable BRISKO_FAIL, read once when the table
// is first used, names the calls that fail, separated by commas. "WriteFile"
// makes every call fail; "WriteFile#2" lets the first call through and fails
// the second and every later one. A failing WriteFile writes half of what it
// was given and then reports ERROR_DISK_FULL, as a disk that fills up does.
// Without the variable the table holds the real calls.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <string_view>

namespace brisko {

struct SystemCalls {
  decltype(&::CreateFileW) CreateFileW;
  decltype(&::WriteFile) WriteFile;
  decltype(&::FlushFileBuffers) FlushFileBuffers;
  decltype(&::MoveFileExW) MoveFileExW;
  decltype(&::CoCreateInstance) CoCreateInstance;
};

// The table in force.
const SystemCalls& Sys();

// Replaces the selection of failing calls, in the format of BRISKO_FAIL; an
// empty text restores every real call. Returns false, changing nothing, when
// the text names a call the table does not hold or is malformed.
bool SetFailingCalls(std::string_view selection);

}  // namespace brisko
