#include "system_calls.h"

namespace brisko {
namespace {

#define BRISKO_REAL_CALL(name) ::name,
constexpr SystemCalls kRealCalls = {BRISKO_SYSTEM_CALLS(BRISKO_REAL_CALL)};
#undef BRISKO_REAL_CALL

}  // namespace

namespace detail {
SystemCalls systemCalls = kRealCalls;
}

const SystemCalls& RealSystemCalls() { return kRealCalls; }

void SetSystemCalls(const SystemCalls& calls) { detail::systemCalls = calls; }

void RestoreSystemCalls() { detail::systemCalls = kRealCalls; }

}  // namespace brisko
