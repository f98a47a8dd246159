// Fault injection through the Windows layer's system-call table, for tests.
//
// While a FaultInjector lives, every call of the table goes through a hook
// that numbers it, fails it on request as the system would fail it, and
// keeps account of what it hands out (file and search handles, registry
// keys, shell item lists and allocators, COM objects and COM
// initialisations), so that a test can check that all of it was released.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brisko::test {

class FaultInjector {
 public:
  FaultInjector();
  ~FaultInjector();
  FaultInjector(const FaultInjector&) = delete;
  FaultInjector& operator=(const FaultInjector&) = delete;

  // Fails the call numbered `index` (from 1) counted from the last Reset;
  // 0 fails none.
  void FailAt(unsigned index);
  // Fails the calls named `name` from the `first`-th on (1: every one).
  // False when the table has no call of that name.
  bool FailFrom(std::string_view name, unsigned first = 1);
  // Takes a selection "Name" or "Name#N", several separated by commas, for
  // FailFrom; "Name@N" fails the N-th call of that name only. False,
  // selecting nothing, when it is malformed.
  bool FailSelection(std::string_view selection);

  // Forgets the calls made and the failures selected; keeps the account of
  // what is held.
  void Reset();

  // The names of the calls made since the last Reset, in order.
  const std::vector<std::string>& calls() const;
  // The name of the call that was made to fail, or empty.
  const std::string& failed() const;

  // What is still held, as "2 file handles, 1 registry key"; empty when
  // everything handed out has been released. Drops the references it took
  // to count COM objects, so call it once, after the code under test.
  std::string Unreleased();

  // Calls that release something. Failed, they release it and then report
  // the failure, as a close that reports a late error does.
  static bool IsRelease(std::string_view name);
};

}  // namespace brisko::test
