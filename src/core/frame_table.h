// Lookup in a table of call frame descriptions, the records that the compiler
// writes into a program's .eh_frame section for unwinding the stack when an
// exception is thrown: common entries (CIEs) that describe how addresses are
// encoded, and one description (FDE) per function with the range of code it
// covers. The 32-bit installers search their own table with this instead of
// the runtime's sorted index of it (src/win32/lean_unwind_x86.cpp).
#pragma once

#include <cstdint>

namespace brisko {

struct FrameDescription {
  const unsigned char* record = nullptr;  // the FDE, from its length field; null if none
  std::uintptr_t function = 0;            // the start of the code that it covers
};

// Walks the records from `table` to the zero length that ends the table and
// returns the description whose code range holds `pc`. Pointers are decoded
// as the table's common entries say (absolute or relative to the field); an
// encoding that cannot be read ends the search without a result.
FrameDescription FindFrameDescription(const unsigned char* table, std::uintptr_t pc);

// The bases that the runtime's unwinder expects beside a description, and its
// entry point for finding one (a C function of the compiler's runtime).
struct UnwindBases {
  void* text;
  void* data;
  void* function;
};

}  // namespace brisko

extern "C" const void* _Unwind_Find_FDE(void* pc, brisko::UnwindBases* bases);
