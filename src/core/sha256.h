// SHA-256 (FIPS 180-4), fed in pieces so that payloads of any size can be
// hashed while they stream past.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace brisko {

// This file's implementation is portable (sha256.cpp); the installers use
// the system's instead (src/win32/win_sha256.cpp), which is smaller there.
class Sha256 {
 public:
  using Digest = std::array<std::uint8_t, 32>;

  Sha256();
  ~Sha256();
  Sha256(Sha256&&) noexcept;
  Sha256& operator=(Sha256&&) noexcept;
  void Update(const void* data, std::size_t size);
  void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
  // Pads and returns the digest; the object is then spent.
  Digest Finish();

  static std::string Hex(const Digest& digest);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace brisko
