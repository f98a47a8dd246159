#include <filesystem>
#include <system_error>

#include "test_support.h"

namespace brisko::test {

void RemoveTree(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
}

}  // namespace brisko::test
