#include "read_ahead.h"

#include <windows.h>

#include <cstring>
#include <new>

#include "system_calls.h"

namespace brisko {

ReadAhead::~ReadAhead() {
  if (!thread_) return;
  stop_.store(true);
  ReleaseSemaphore(free_.get(), kSlots, nullptr);
  WaitForSingleObject(thread_.get(), INFINITE);
}

bool ReadAhead::Start() {
  for (Slot& slot : slots_) {
    slot.bytes.reset(new (std::nothrow) char[kPieceSize]);
    if (!slot.bytes) return false;
  }
  free_.reset(CreateSemaphoreW(nullptr, kSlots, kSlots, nullptr));
  full_.reset(CreateSemaphoreW(nullptr, 0, kSlots, nullptr));
  if (!free_ || !full_) return false;
  thread_.reset(Sys().CreateThread(nullptr, 0, Main, this, 0, nullptr));
  return static_cast<bool>(thread_);
}

unsigned long __stdcall ReadAhead::Main(void* self) {
  static_cast<ReadAhead*>(self)->Produce();
  return 0;
}

// Fills the slots in turn until the payload ends, fails, or the reader is
// told to stop.
void ReadAhead::Produce() {
  for (std::size_t i = 0;; ++i) {
    WaitForSingleObject(free_.get(), INFINITE);
    if (stop_.load()) return;
    Slot& slot = slots_[i % kSlots];
    std::string_view piece;
    slot.good = inner_.Next(piece);
    slot.size = slot.good ? piece.size() : 0;
    if (slot.size > 0) std::memcpy(slot.bytes.get(), piece.data(), slot.size);
    ReleaseSemaphore(full_.get(), 1, nullptr);
    if (!slot.good || slot.size == 0) return;
  }
}

bool ReadAhead::Next(std::string_view& piece) {
  piece = {};
  if (ended_) return good_;
  // The slot handed out last is the caller's no more.
  if (taken_ > 0) ReleaseSemaphore(free_.get(), 1, nullptr);
  WaitForSingleObject(full_.get(), INFINITE);
  const Slot& slot = slots_[taken_++ % kSlots];
  if (!slot.good || slot.size == 0) {
    ended_ = true;
    good_ = slot.good;
    return good_;
  }
  piece = std::string_view(slot.bytes.get(), slot.size);
  return true;
}

}  // namespace brisko
