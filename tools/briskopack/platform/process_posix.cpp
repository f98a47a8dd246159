#include <unistd.h>

#include "platform/file_io.h"

namespace brisko::pack {

long CurrentProcessId() { return static_cast<long>(getpid()); }

}  // namespace brisko::pack
