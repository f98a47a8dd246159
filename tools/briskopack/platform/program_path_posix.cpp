#include "platform/program_path.h"

#include <unistd.h>

#include <string>

namespace brisko::pack {

std::optional<fs::path> ProgramPath() {
  // readlink does not say whether the name was cut short: grow the buffer
  // until the name leaves room to spare.
  for (std::size_t size = 256; size <= (1u << 16); size *= 2) {
    std::string buffer(size, '\0');
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return std::nullopt;
    if (static_cast<std::size_t>(n) < buffer.size()) {
      buffer.resize(static_cast<std::size_t>(n));
      return fs::path(buffer);
    }
  }
  return std::nullopt;
}

}  // namespace brisko::pack
