#include "fault_injection.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <set>

#include "win32/system_calls.h"

namespace brisko::test {
namespace {

struct Account {
  unsigned failAt = 0;
  std::map<std::string, unsigned, std::less<>> failFrom, failOnly;
  std::map<std::string, unsigned, std::less<>> counts;
  std::vector<std::string> calls;
  std::string failed;

  std::set<HANDLE> files, finds;
  std::set<HKEY> keys;
  std::set<void*> itemLists;
  int allocators = 0;
  int comInitialisations = 0;
  std::vector<IUnknown*> objects;
};

Account* account = nullptr;

// The calls of the table by position, and their names.
enum class Call : unsigned {
#define BRISKO_CALL_ID(name) name,
  BRISKO_SYSTEM_CALLS(BRISKO_CALL_ID)
#undef BRISKO_CALL_ID
};

constexpr std::string_view kNames[] = {
#define BRISKO_CALL_NAME(name) #name,
    BRISKO_SYSTEM_CALLS(BRISKO_CALL_NAME)
#undef BRISKO_CALL_NAME
};

std::string_view NameOf(Call call) { return kNames[static_cast<unsigned>(call)]; }

// A call that the selection may name: one of the table's, and not
// CoUninitialize, which cannot fail.
bool CanFail(std::string_view name) {
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames) &&
         name != NameOf(Call::CoUninitialize);
}

const SystemCalls& Real() { return RealSystemCalls(); }

// Numbers the call and tells whether it is to fail.
bool Fails(Call call) {
  if (account == nullptr) return false;
  const std::string_view name = NameOf(call);
  account->calls.emplace_back(name);
  const unsigned nth = ++account->counts[std::string(name)];
  bool fail = account->calls.size() == account->failAt;
  if (const auto from = account->failFrom.find(name); from != account->failFrom.end())
    fail = fail || nth >= from->second;
  if (const auto only = account->failOnly.find(name); only != account->failOnly.end())
    fail = fail || nth == only->second;
  if (fail && account->failed.empty()) account->failed = std::string(name);
  return fail;
}

template <typename T>
T Failure(T value, DWORD error) {
  SetLastError(error);
  return value;
}

// The shell allocator, counting the item lists it frees and its own
// references.
class CountingMalloc final : public IMalloc {
 public:
  explicit CountingMalloc(IMalloc* real) : real_(real) { ++account->allocators; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IMalloc)) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    *object = this;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) {
      real_->Release();
      if (account != nullptr) --account->allocators;
      delete this;
    }
    return left;
  }
  void* STDMETHODCALLTYPE Alloc(SIZE_T size) override { return real_->Alloc(size); }
  void* STDMETHODCALLTYPE Realloc(void* block, SIZE_T size) override { return real_->Realloc(block, size); }
  void STDMETHODCALLTYPE Free(void* block) override {
    if (account != nullptr) account->itemLists.erase(block);
    real_->Free(block);
  }
  SIZE_T STDMETHODCALLTYPE GetSize(void* block) override { return real_->GetSize(block); }
  int STDMETHODCALLTYPE DidAlloc(void* block) override { return real_->DidAlloc(block); }
  void STDMETHODCALLTYPE HeapMinimize() override { real_->HeapMinimize(); }

 private:
  IMalloc* real_;
  ULONG refs_ = 1;
};

// ---- the hooks --------------------------------------------------------------

DWORD WINAPI GetFileAttributesWHook(LPCWSTR name) {
  if (Fails(Call::GetFileAttributesW)) return Failure<DWORD>(INVALID_FILE_ATTRIBUTES, ERROR_ACCESS_DENIED);
  return Real().GetFileAttributesW(name);
}

HANDLE WINAPI CreateFileWHook(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                              DWORD disposition, DWORD flags, HANDLE templateFile) {
  if (Fails(Call::CreateFileW)) return Failure(INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
  const HANDLE file = Real().CreateFileW(name, access, share, security, disposition, flags, templateFile);
  if (file != INVALID_HANDLE_VALUE) account->files.insert(file);
  return file;
}

// A full disk: half of the bytes are written, then ERROR_DISK_FULL.
BOOL WINAPI WriteFileHook(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
  if (!Fails(Call::WriteFile)) return Real().WriteFile(file, data, size, written, overlapped);
  DWORD partial = 0;
  if (size / 2 > 0) Real().WriteFile(file, data, size / 2, &partial, overlapped);
  if (written != nullptr) *written = partial;
  return Failure(FALSE, ERROR_DISK_FULL);
}

BOOL WINAPI FlushFileBuffersHook(HANDLE file) {
  if (Fails(Call::FlushFileBuffers)) return Failure(FALSE, ERROR_WRITE_FAULT);
  return Real().FlushFileBuffers(file);
}

BOOL WINAPI ReadFileHook(HANDLE file, LPVOID data, DWORD size, LPDWORD read, LPOVERLAPPED overlapped) {
  if (Fails(Call::ReadFile)) return Failure(FALSE, ERROR_READ_FAULT);
  return Real().ReadFile(file, data, size, read, overlapped);
}

BOOL WINAPI GetFileSizeExHook(HANDLE file, PLARGE_INTEGER size) {
  if (Fails(Call::GetFileSizeEx)) return Failure(FALSE, ERROR_ACCESS_DENIED);
  return Real().GetFileSizeEx(file, size);
}

BOOL WINAPI CloseHandleHook(HANDLE handle) {
  const bool fail = Fails(Call::CloseHandle);
  account->files.erase(handle);
  const BOOL closed = Real().CloseHandle(handle);
  return fail ? Failure(FALSE, ERROR_IO_DEVICE) : closed;
}

// Both files keep their names, as when the destination cannot be removed.
BOOL WINAPI ReplaceFileWHook(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags, LPVOID exclude,
                             LPVOID reserved) {
  if (Fails(Call::ReplaceFileW)) return Failure(FALSE, ERROR_UNABLE_TO_REMOVE_REPLACED);
  return Real().ReplaceFileW(replaced, replacement, backup, flags, exclude, reserved);
}

BOOL WINAPI MoveFileExWHook(LPCWSTR from, LPCWSTR to, DWORD flags) {
  if (Fails(Call::MoveFileExW)) return Failure(FALSE, ERROR_ACCESS_DENIED);
  return Real().MoveFileExW(from, to, flags);
}

BOOL WINAPI DeleteFileWHook(LPCWSTR name) {
  if (Fails(Call::DeleteFileW)) return Failure(FALSE, ERROR_SHARING_VIOLATION);
  return Real().DeleteFileW(name);
}

HANDLE WINAPI FindFirstFileWHook(LPCWSTR name, LPWIN32_FIND_DATAW data) {
  if (Fails(Call::FindFirstFileW)) return Failure(INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED);
  const HANDLE find = Real().FindFirstFileW(name, data);
  if (find != INVALID_HANDLE_VALUE) account->finds.insert(find);
  return find;
}

BOOL WINAPI FindNextFileWHook(HANDLE find, LPWIN32_FIND_DATAW data) {
  if (Fails(Call::FindNextFileW)) return Failure(FALSE, ERROR_NO_MORE_FILES);
  return Real().FindNextFileW(find, data);
}

BOOL WINAPI GetDiskFreeSpaceExWHook(LPCWSTR folder, PULARGE_INTEGER available, PULARGE_INTEGER total,
                                    PULARGE_INTEGER free) {
  if (Fails(Call::GetDiskFreeSpaceExW)) return Failure(FALSE, ERROR_NOT_READY);
  return Real().GetDiskFreeSpaceExW(folder, available, total, free);
}

BOOL WINAPI GetVolumePathNameWHook(LPCWSTR path, LPWSTR volume, DWORD size) {
  if (Fails(Call::GetVolumePathNameW)) return Failure(FALSE, ERROR_NOT_READY);
  return Real().GetVolumePathNameW(path, volume, size);
}

BOOL WINAPI FindCloseHook(HANDLE find) {
  const bool fail = Fails(Call::FindClose);
  account->finds.erase(find);
  const BOOL closed = Real().FindClose(find);
  return fail ? Failure(FALSE, ERROR_INVALID_HANDLE) : closed;
}

HRSRC WINAPI FindResourceWHook(HMODULE module, LPCWSTR name, LPCWSTR type) {
  if (Fails(Call::FindResourceW)) return Failure<HRSRC>(nullptr, ERROR_RESOURCE_NAME_NOT_FOUND);
  return Real().FindResourceW(module, name, type);
}

HGLOBAL WINAPI LoadResourceHook(HMODULE module, HRSRC resource) {
  if (Fails(Call::LoadResource)) return Failure<HGLOBAL>(nullptr, ERROR_NOT_ENOUGH_MEMORY);
  return Real().LoadResource(module, resource);
}

DWORD WINAPI SizeofResourceHook(HMODULE module, HRSRC resource) {
  if (Fails(Call::SizeofResource)) return Failure<DWORD>(0, ERROR_RESOURCE_DATA_NOT_FOUND);
  return Real().SizeofResource(module, resource);
}

LPVOID WINAPI LockResourceHook(HGLOBAL resource) {
  if (Fails(Call::LockResource)) return nullptr;
  return Real().LockResource(resource);
}

LSTATUS WINAPI RegOpenKeyExWHook(HKEY parent, LPCWSTR name, DWORD options, REGSAM access, PHKEY key) {
  if (Fails(Call::RegOpenKeyExW)) {
    if (key != nullptr) *key = nullptr;
    return ERROR_ACCESS_DENIED;
  }
  const LSTATUS status = Real().RegOpenKeyExW(parent, name, options, access, key);
  if (status == ERROR_SUCCESS) account->keys.insert(*key);
  return status;
}

LSTATUS WINAPI RegQueryValueExWHook(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
  if (Fails(Call::RegQueryValueExW)) return ERROR_ACCESS_DENIED;
  return Real().RegQueryValueExW(key, name, reserved, type, data, size);
}

LSTATUS WINAPI RegCloseKeyHook(HKEY key) {
  const bool fail = Fails(Call::RegCloseKey);
  account->keys.erase(key);
  const LSTATUS status = Real().RegCloseKey(key);
  return fail ? ERROR_INVALID_HANDLE : status;
}

DWORD WINAPI ExpandEnvironmentStringsWHook(LPCWSTR text, LPWSTR buffer, DWORD size) {
  if (Fails(Call::ExpandEnvironmentStringsW)) return Failure<DWORD>(0, ERROR_NOT_ENOUGH_MEMORY);
  return Real().ExpandEnvironmentStringsW(text, buffer, size);
}

HRESULT WINAPI SHGetMallocHook(IMalloc** allocator) {
  if (Fails(Call::SHGetMalloc)) {
    *allocator = nullptr;
    return E_OUTOFMEMORY;
  }
  IMalloc* real = nullptr;
  const HRESULT result = Real().SHGetMalloc(&real);
  *allocator = SUCCEEDED(result) && real != nullptr ? new CountingMalloc(real) : nullptr;
  return result;
}

HRESULT WINAPI SHGetSpecialFolderLocationHook(HWND owner, int csidl, LPITEMIDLIST* list) {
  if (Fails(Call::SHGetSpecialFolderLocation)) {
    *list = nullptr;
    return E_FAIL;
  }
  const HRESULT result = Real().SHGetSpecialFolderLocation(owner, csidl, list);
  if (result == S_OK && *list != nullptr) account->itemLists.insert(*list);
  return result;
}

BOOL WINAPI SHGetPathFromIDListWHook(PCIDLIST_ABSOLUTE list, LPWSTR path) {
  if (Fails(Call::SHGetPathFromIDListW)) return FALSE;
  return Real().SHGetPathFromIDListW(list, path);
}

HRESULT WINAPI CoInitializeHook(LPVOID reserved) {
  if (Fails(Call::CoInitialize)) return E_OUTOFMEMORY;
  const HRESULT result = Real().CoInitialize(reserved);
  if (SUCCEEDED(result)) ++account->comInitialisations;
  return result;
}

// Cannot fail: numbered only, so that a test sees it in the order of calls.
void WINAPI CoUninitializeHook() {
  account->calls.emplace_back(NameOf(Call::CoUninitialize));
  --account->comInitialisations;
  Real().CoUninitialize();
}

HRESULT WINAPI CoCreateInstanceHook(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object) {
  if (Fails(Call::CoCreateInstance)) {
    *object = nullptr;
    return REGDB_E_CLASSNOTREG;
  }
  const HRESULT result = Real().CoCreateInstance(clsid, outer, context, iid, object);
  if (result == S_OK && *object != nullptr) {
    // A reference of our own: when the code under test has released all of
    // its references, releasing this one leaves 0.
    auto* unknown = static_cast<IUnknown*>(*object);
    unknown->AddRef();
    account->objects.push_back(unknown);
  }
  return result;
}

int WINAPI MultiByteToWideCharHook(UINT codePage, DWORD flags, LPCCH text, int length, LPWSTR wide, int size) {
  if (Fails(Call::MultiByteToWideChar)) return Failure(0, ERROR_INSUFFICIENT_BUFFER);
  return Real().MultiByteToWideChar(codePage, flags, text, length, wide, size);
}

HANDLE WINAPI CreateThreadHook(LPSECURITY_ATTRIBUTES security, SIZE_T stack, LPTHREAD_START_ROUTINE start,
                               LPVOID parameter, DWORD flags, LPDWORD id) {
  if (Fails(Call::CreateThread)) return Failure<HANDLE>(nullptr, ERROR_NOT_ENOUGH_MEMORY);
  return Real().CreateThread(security, stack, start, parameter, flags, id);
}

// Every call of the table by its hook, <name>Hook: a call added to the list
// without a hook here does not compile.
#define BRISKO_HOOK(name) name##Hook,
constexpr SystemCalls kHooks = {BRISKO_SYSTEM_CALLS(BRISKO_HOOK)};
#undef BRISKO_HOOK

void Describe(std::string& out, std::size_t count, const char* what) {
  if (count == 0) return;
  if (!out.empty()) out += ", ";
  out += std::to_string(count) + " " + what;
}

}  // namespace

FaultInjector::FaultInjector() {
  account = new Account;
  SetSystemCalls(kHooks);
}

FaultInjector::~FaultInjector() {
  RestoreSystemCalls();
  delete account;
  account = nullptr;
}

void FaultInjector::FailAt(unsigned index) { account->failAt = index; }

bool FaultInjector::FailFrom(std::string_view name, unsigned first) {
  if (!CanFail(name)) return false;
  account->failFrom[std::string(name)] = first;
  return true;
}

bool FaultInjector::FailSelection(std::string_view selection) {
  std::map<std::string, unsigned, std::less<>> from, only;
  while (true) {
    const std::size_t comma = selection.find(',');
    std::string_view item = selection.substr(0, comma);
    unsigned nth = 1;
    const std::size_t mark = item.find_first_of("#@");
    if (mark != std::string_view::npos) {
      const std::string_view digits = item.substr(mark + 1);
      if (digits.empty() || digits.size() > 6 ||
          !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
      nth = static_cast<unsigned>(std::stoul(std::string(digits)));
      if (nth == 0) return false;
    }
    const std::string_view name = item.substr(0, mark);
    if (!CanFail(name)) return false;
    (mark != std::string_view::npos && item[mark] == '@' ? only : from)[std::string(name)] = nth;
    if (comma == std::string_view::npos) break;
    selection = selection.substr(comma + 1);
  }
  for (const auto& [name, nth] : from) account->failFrom[name] = nth;
  for (const auto& [name, nth] : only) account->failOnly[name] = nth;
  return true;
}

void FaultInjector::Reset() {
  account->failAt = 0;
  account->failFrom.clear();
  account->failOnly.clear();
  account->counts.clear();
  account->calls.clear();
  account->failed.clear();
}

const std::vector<std::string>& FaultInjector::calls() const { return account->calls; }

const std::string& FaultInjector::failed() const { return account->failed; }

std::string FaultInjector::Unreleased() {
  std::size_t objects = 0;
  for (IUnknown* object : account->objects)
    if (object->Release() != 0) ++objects;
  account->objects.clear();
  std::string out;
  Describe(out, account->files.size(), "file handles");
  Describe(out, account->finds.size(), "search handles");
  Describe(out, account->keys.size(), "registry keys");
  Describe(out, account->itemLists.size(), "item lists");
  Describe(out, static_cast<std::size_t>(std::max(account->allocators, 0)), "shell allocators");
  Describe(out, static_cast<std::size_t>(std::max(account->comInitialisations, 0)), "COM initialisations");
  Describe(out, objects, "COM objects");
  return out;
}

bool FaultInjector::IsRelease(std::string_view name) {
  return name == "CloseHandle" || name == "FindClose" || name == "RegCloseKey";
}

}  // namespace brisko::test
