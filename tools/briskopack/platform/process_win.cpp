#include <process.h>

#include "platform/file_io.h"

namespace brisko::pack {

long CurrentProcessId() { return static_cast<long>(_getpid()); }

}  // namespace brisko::pack
