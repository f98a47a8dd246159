// briskopack: builds, checks and inspects patch installers.
#include <iostream>
#include <string>
#include <vector>

#include "cli.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const int code = brisko::pack::RunCommandLine(args, std::cout, std::cerr);
  std::cout.flush();
  return code;
}
