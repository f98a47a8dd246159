// The compression of whole 64-byte blocks by the processor's SHA
// instructions, where the build's architecture has them (x86 and x86-64).
#pragma once

#include <cstddef>
#include <cstdint>

namespace brisko::sha256_blocks {

// The round constants (aligned for 16-byte loads) and the initial hash
// value, in sha256.cpp.
extern const std::uint32_t kRound[64];
extern const std::uint32_t kInitial[8];

// True when this processor has the SHA extensions and what they need (SSSE3,
// SSE4.1).
bool ProcessorHasInstructions();

// Adds `blocks` 64-byte blocks of `data` to `state` (the hash words a to h).
// Only to be called when ProcessorHasInstructions() is true.
void CompressWithInstructions(std::uint32_t state[8], const unsigned char* data, std::size_t blocks);

}  // namespace brisko::sha256_blocks
