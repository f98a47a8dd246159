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

// The installer and the packer share this code (sha256.cpp, with the
// processor's instructions in sha256_instructions.cpp).
class Sha256 {
 public:
  using Digest = std::array<std::uint8_t, 32>;

  // Which code hashes: the processor's SHA instructions (the x86 SHA
  // extensions) where it has them, about five times faster, else the
  // portable code; Portable forces the latter, to compare the two.
  enum class Engine { Best, Portable };

  explicit Sha256(Engine engine = Engine::Best);
  ~Sha256();
  Sha256(Sha256&&) noexcept;
  Sha256& operator=(Sha256&&) noexcept;
  void Update(const void* data, std::size_t size);
  void Update(std::string_view bytes) { Update(bytes.data(), bytes.size()); }
  // Pads and returns the digest; the object is then spent.
  Digest Finish();

  static std::string Hex(const Digest& digest);

  // True when Engine::Best uses the processor's SHA instructions here.
  static bool HasInstructions();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace brisko
