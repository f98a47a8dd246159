#include "platform/mapped_file.h"

#include <windows.h>

namespace brisko::pack {

struct MappedFile::System {
  HANDLE file = INVALID_HANDLE_VALUE;
  HANDLE mapping = nullptr;
  const void* view = nullptr;

  ~System() {
    if (view) UnmapViewOfFile(view);
    if (mapping) CloseHandle(mapping);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
};

MappedFile::MappedFile(const fs::path& path) : system_(std::make_unique<System>()), name_(DisplayName(path)) {
  System& s = *system_;
  s.file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN,
                       nullptr);
  if (s.file == INVALID_HANDLE_VALUE)
    throw PackError(name_, "cannot open (error " + std::to_string(GetLastError()) + ")");
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(s.file, &size)) throw PackError(name_, "cannot read its size");
  if (size.QuadPart == 0) return;
  if (static_cast<unsigned long long>(size.QuadPart) > SIZE_MAX)
    throw PackError(name_, "too large to map into this packer's memory; use the 64-bit packer");
  s.mapping = CreateFileMappingW(s.file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (s.mapping) s.view = MapViewOfFile(s.mapping, FILE_MAP_READ, 0, 0, 0);
  if (!s.view) throw PackError(name_, "cannot map into memory (error " + std::to_string(GetLastError()) + ")");
  bytes_ = std::string_view(static_cast<const char*>(s.view), static_cast<std::size_t>(size.QuadPart));
}

MappedFile::~MappedFile() = default;

}  // namespace brisko::pack
