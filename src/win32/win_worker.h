// The worker that writes the payload while the window stays alive.
#pragma once

#include <windows.h>

#include "core/platform.h"

namespace brisko {

class WinWorker final : public Worker {
 public:
  // Runs the job on a thread of its own. The calling (window) thread waits
  // in a message loop of its own meanwhile, as a modal dialog's does: the
  // windows go on painting and answering the system, and the job's progress
  // is passed on about 20 times a second. When no thread can be had, the job
  // runs on the calling thread instead.
  bool Run(Job& job) override;
  // Waits for the thread of the job that Run runs.
  void WaitForEnd() override;

 private:
  HANDLE running_ = nullptr;
};

}  // namespace brisko
