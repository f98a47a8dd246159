// The console on POSIX systems: text and arguments are taken to be UTF-8.
#include <cstdio>

#include "platform/console.h"

namespace brisko::pack {

bool WriteText(StandardStream stream, std::string_view utf8) {
  std::FILE* file = stream == StandardStream::Output ? stdout : stderr;
  return std::fwrite(utf8.data(), 1, utf8.size(), file) == utf8.size() && std::fflush(file) == 0;
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

std::string SystemText(std::string text) { return text; }

}  // namespace brisko::pack
