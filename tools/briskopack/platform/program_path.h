// Where the running packer is: it finds the stubs installed with it relative
// to its own executable, so that a prefix can be moved or unpacked anywhere.
#pragma once

#include <optional>

#include "platform/file_io.h"

namespace brisko::pack {

// The running program's executable file, symbolic links resolved; nullopt
// when the system does not say.
std::optional<fs::path> ProgramPath();

}  // namespace brisko::pack
