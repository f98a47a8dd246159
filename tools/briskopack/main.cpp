// briskopack: builds, checks and inspects patch installers.
#include "cli.h"
#include "platform/console.h"

int main(int argc, char** argv) {
  using brisko::pack::StandardStream;
  brisko::pack::TextStream out(StandardStream::Output), err(StandardStream::Error);
  const int code = brisko::pack::RunCommandLine(brisko::pack::CommandLineArguments(argc, argv), out, err);
  out.flush();
  err.flush();
  return code;
}
