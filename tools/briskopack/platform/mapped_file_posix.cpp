#include "platform/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace brisko::pack {

struct MappedFile::System {
  void* address = MAP_FAILED;
  std::size_t size = 0;
};

MappedFile::MappedFile(const fs::path& path) : system_(std::make_unique<System>()), name_(DisplayName(path)) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw PackError(name_, "cannot open: " + ErrorText(errno));
  struct stat status {};
  const bool known = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
  const int error = errno;
  if (known && status.st_size > 0) {
    system_->size = static_cast<std::size_t>(status.st_size);
    system_->address = ::mmap(nullptr, system_->size, PROT_READ, MAP_PRIVATE, fd, 0);
  }
  const int mapError = errno;
  ::close(fd);
  if (!known) throw PackError(name_, "cannot read: " + ErrorText(error ? error : EINVAL));
  if (status.st_size > 0 && system_->address == MAP_FAILED)
    throw PackError(name_, "cannot map into memory: " + ErrorText(mapError));
  if (system_->size > 0) {
    ::madvise(system_->address, system_->size, MADV_WILLNEED);
    bytes_ = std::string_view(static_cast<const char*>(system_->address), system_->size);
  }
}

MappedFile::~MappedFile() {
  if (system_->address != MAP_FAILED) ::munmap(system_->address, system_->size);
}

}  // namespace brisko::pack
