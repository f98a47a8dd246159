// Smaller replacements for pieces of the 32-bit runtime's unwinder, which
// unwinds by the DWARF tables in the program (the 64-bit one by the system's
// tables). Linked into the 32-bit installers only, ahead of the runtime
// library, like lean_runtime.cpp.
//
// Finding the unwinding description of a function when an exception passes
// through it. The runtime's own lookup copies every description of a
// registered table into a sorted index on the first throw and searches that;
// with its locking it is over 10 KiB of a stub. An installer throws a
// handful of exceptions in its life, through a few frames each, so it walks
// its one table instead (core/frame_table.h): a search through some hundred
// records per frame.
//
// The start-up code that the compiler links into every program registers the
// program's table through __register_frame_info; the unwinder then asks
// _Unwind_Find_FDE for each frame.
#include <unwind.h>

#include "core/frame_table.h"

namespace {

const unsigned char* registered_table = nullptr;

}  // namespace

extern "C" {

void __register_frame_info(const void* table, void* /*runtime_object*/) {
  registered_table = static_cast<const unsigned char*>(table);
}

// Called when the program exits. The table stays in the image until the
// process ends, so it stays searchable for destructors that run after.
void* __deregister_frame_info(const void* /*table*/) { return nullptr; }

const void* _Unwind_Find_FDE(void* pc, brisko::UnwindBases* bases) {
  if (registered_table == nullptr) return nullptr;
  const brisko::FrameDescription found =
      brisko::FindFrameDescription(registered_table, reinterpret_cast<std::uintptr_t>(pc));
  if (found.record == nullptr) return nullptr;
  // Text- and data-relative pointers are not written for this target; the
  // runtime gives its registered tables zero for both bases too.
  bases->text = nullptr;
  bases->data = nullptr;
  bases->function = reinterpret_cast<void*>(found.function);
  return found.record;
}

// Link-time optimisation gives some C++ functions, those whose clean-ups
// come only from inlining, the personality routine of C. That one runs
// clean-ups and nothing else, and would bring in a second LSDA reader; the
// C++ routine reads the same tables and runs the same clean-ups. Kept
// ("used"): the references to it appear only in the optimised code.
_Unwind_Reason_Code __gxx_personality_v0(int version, _Unwind_Action actions, _Unwind_Exception_Class exception_class,
                                         _Unwind_Exception* exception, _Unwind_Context* context);

[[gnu::used]] _Unwind_Reason_Code __gcc_personality_v0(int version, _Unwind_Action actions,
                                                       _Unwind_Exception_Class exception_class,
                                                       _Unwind_Exception* exception, _Unwind_Context* context) {
  return __gxx_personality_v0(version, actions, exception_class, exception, context);
}

}  // extern "C"
