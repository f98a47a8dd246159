// Reading a payload ahead of its writing: a thread of its own takes the
// pieces of a payload (decoding a compressed one, applying a delta, or
// touching the pages of the installer's own file for a raw one) into a few
// buffers while the caller writes the ones before.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

#include "core/payload/payload_reader.h"
#include "handles.h"

namespace brisko {

class ReadAhead final : public PayloadReader {
 public:
  explicit ReadAhead(PayloadReader& inner) : inner_(inner) {}
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;
  // Stops the thread (after the piece it may be taking) and waits for it.
  ~ReadAhead() override;

  // Starts the thread; false when none can be had, and the caller then reads
  // `inner` itself.
  bool Start();

  std::uint64_t size() const override { return inner_.size(); }
  // The next piece, as `inner` gave it, from a buffer of this reader's that
  // stays untouched until the next call.
  bool Next(std::string_view& piece) override;

 private:
  static constexpr std::size_t kSlots = 4;
  struct Slot {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
    bool good = false;  // `inner` gave the piece (or its end)
  };

  static unsigned long __stdcall Main(void* self);
  void Produce();

  PayloadReader& inner_;
  Slot slots_[kSlots];
  unique_handle_null free_, full_, thread_;
  std::atomic<bool> stop_{false};
  std::size_t taken_ = 0;  // slots handed to the caller so far
  bool ended_ = false;
  bool good_ = true;
};

}  // namespace brisko
