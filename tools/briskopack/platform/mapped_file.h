// A whole file mapped read-only into memory, for matching the versions of a
// file: the system pages it in as it is read, and nothing is copied
// (mapped_file_posix.cpp, mapped_file_win.cpp).
#pragma once

#include <memory>
#include <string_view>

#include "platform/file_io.h"

namespace brisko::pack {

class MappedFile {
 public:
  // Throws PackError when the file cannot be opened or mapped (a 32-bit
  // packer cannot map files of more than about 1 GiB).
  explicit MappedFile(const fs::path& path);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  std::string_view bytes() const { return bytes_; }
  const std::string& name() const { return name_; }

 private:
  struct System;
  std::unique_ptr<System> system_;
  std::string name_;
  std::string_view bytes_;
};

}  // namespace brisko::pack
