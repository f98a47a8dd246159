// SHA-256 for the installers, from the system's cryptographic provider
// (advapi32, which the installer imports anyway): the portable
// implementation's code and tables would cost a stub more. Linked into the
// installers in place of src/core/sha256.cpp; the tests of that file's
// interface run against this one too.
#include <windows.h>
#include <wincrypt.h>

#include <algorithm>

#include "core/payload/sha256.h"

namespace brisko {

// Without a provider or a hash object every Update is lost and Finish gives
// zeros, which no file's digest is: whatever is checked against it fails.
struct Sha256::State {
  State() {
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) provider = 0;
    if (provider != 0 && !CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) hash = 0;
  }
  ~State() {
    if (hash != 0) CryptDestroyHash(hash);
    if (provider != 0) CryptReleaseContext(provider, 0);
  }

  HCRYPTPROV provider = 0;
  HCRYPTHASH hash = 0;
};

Sha256::Sha256() : state_(std::make_unique<State>()) {}
Sha256::~Sha256() = default;
Sha256::Sha256(Sha256&&) noexcept = default;
Sha256& Sha256::operator=(Sha256&&) noexcept = default;

void Sha256::Update(const void* data, std::size_t size) {
  const auto* bytes = static_cast<const BYTE*>(data);
  while (size > 0 && state_->hash != 0) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    if (!CryptHashData(state_->hash, bytes, piece, 0)) {
      CryptDestroyHash(state_->hash);
      state_->hash = 0;
    }
    bytes += piece;
    size -= piece;
  }
}

Sha256::Digest Sha256::Finish() {
  Digest digest{};
  DWORD length = static_cast<DWORD>(digest.size());
  if (state_->hash == 0 || !CryptGetHashParam(state_->hash, HP_HASHVAL, digest.data(), &length, 0) ||
      length != digest.size())
    digest.fill(0);
  return digest;
}

}  // namespace brisko
