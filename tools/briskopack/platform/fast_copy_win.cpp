#include "platform/fast_copy.h"

namespace brisko::pack {

// The Windows build streams through its buffer.
bool CopyFileRange(const FileRange&, const FileRange&, PeChecksum*) { return false; }

}  // namespace brisko::pack
