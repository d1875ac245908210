#pragma once
// Signatures of shipped files: SHA-256 digests computed as bytes arrive, and Ed25519 (RFC 8032,
// pure Ed25519) signatures over the 32-byte digest, with keys and signatures carried as
// standard base64. The cryptography is libgcrypt's; nothing of it is written here.
//
// Raw sizes: public key 32 bytes, private key (the seed) 32 bytes, signature 64 bytes.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltrano::crypto {

using Bytes = std::vector<std::uint8_t>;
using Digest = std::array<std::uint8_t, 32>;

inline constexpr std::size_t kPublicKeyBytes = 32;
inline constexpr std::size_t kPrivateKeyBytes = 32;
inline constexpr std::size_t kSignatureBytes = 64;

// A SHA-256 digest fed piece by piece.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void update(const std::uint8_t* data, std::size_t size);
  // The digest of everything fed so far; the object starts afresh afterwards.
  Digest finish();

 private:
  void* handle_ = nullptr;
};

// Standard base64 with padding.
std::string base64Encode(const Bytes& bytes);
// Standard base64; white space and line breaks anywhere are ignored. Nothing when the text is
// not base64 (a wrong character, wrong padding or length).
std::optional<Bytes> base64Decode(std::string_view text);

struct KeyPair {
  Bytes privateKey;  // 32-byte seed
  Bytes publicKey;   // 32 bytes
};
KeyPair generateKeyPair();
// The public key of a private key; nothing when the private key is not 32 bytes.
std::optional<Bytes> publicKeyOf(const Bytes& privateKey);

// The 64-byte signature of `message`; raises std::invalid_argument for a key of the wrong size.
Bytes sign(const Bytes& privateKey, const Bytes& message);
// True when `signature` is a valid signature of `message` under `publicKey`; false for keys or
// signatures of the wrong size.
bool verify(const Bytes& publicKey, const Bytes& message, const Bytes& signature);

}  // namespace veltrano::crypto
