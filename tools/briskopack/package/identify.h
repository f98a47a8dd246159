// The size and SHA-256 of bytes in memory, as delta payloads record them.
// The packer hashes every result and every earlier version it is given,
// hundreds of megabytes for a large patch: on processors with the SHA
// instructions (x86 SHA extensions) the core's SHA-256 uses them, about five
// times faster than its portable code, and gives the same digest.
#pragma once

#include <string_view>

#include "core/payload/delta.h"

namespace brisko::pack {

FileIdentity IdentifyBytes(std::string_view bytes);

// The same with the portable code only, for comparing the two.
FileIdentity IdentifyBytesPortably(std::string_view bytes);

// True when IdentifyBytes uses the processor's SHA instructions here.
bool HasShaInstructions();

}  // namespace brisko::pack
