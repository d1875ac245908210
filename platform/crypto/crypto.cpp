#include "platform/crypto/crypto.h"

#include <stdexcept>

#include "platform/crypto/gcrypt_calls.h"

namespace veltrano::crypto {
namespace {

// Owns an S-expression.
struct Sexp {
  gcry_sexp_t s = nullptr;
  ~Sexp() {
    if (s) gcrypt().gcry_sexp_release(s);
  }
};

// The bytes of the data element `name` inside `sexp`, left-padded with zeros to `size` (libgcrypt
// may drop leading zero bytes of a value).
Bytes element(gcry_sexp_t sexp, const char* name, std::size_t size) {
  Sexp part;
  part.s = gcrypt().gcry_sexp_find_token(sexp, name, 0);
  if (!part.s) throw std::runtime_error(std::string("libgcrypt: no ") + name);
  std::size_t length = 0;
  const char* data = gcrypt().gcry_sexp_nth_data(part.s, 1, &length);
  if (!data || length > size) throw std::runtime_error(std::string("libgcrypt: bad ") + name);
  Bytes out(size - length, 0);
  out.insert(out.end(), data, data + length);
  return out;
}

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int valueOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

Sha256::Sha256() {
  gcry_md_hd_t h = nullptr;
  if (gcrypt().gcry_md_open(&h, GCRY_MD_SHA256, 0) != 0) throw std::runtime_error("libgcrypt: SHA-256 unavailable");
  handle_ = h;
}

Sha256::~Sha256() { gcrypt().gcry_md_close(static_cast<gcry_md_hd_t>(handle_)); }

void Sha256::update(const std::uint8_t* data, std::size_t size) {
  gcrypt().gcry_md_write(static_cast<gcry_md_hd_t>(handle_), data, size);
}

Digest Sha256::finish() {
  auto h = static_cast<gcry_md_hd_t>(handle_);
  Digest d{};
  const unsigned char* out = gcrypt().gcry_md_read(h, GCRY_MD_SHA256);
  std::copy(out, out + d.size(), d.begin());
  gcrypt().gcry_md_reset(h);
  return d;
}

std::string base64Encode(const Bytes& bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::uint32_t n = (std::uint32_t{bytes[i]} << 16) | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0) |
                            (i + 2 < bytes.size() ? bytes[i + 2] : 0);
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(n >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kAlphabet[n & 63] : '=';
  }
  return out;
}

std::optional<Bytes> base64Decode(std::string_view text) {
  std::string s;
  for (char c : text)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\f' && c != '\v') s += c;
  if (s.size() % 4 != 0) return std::nullopt;
  Bytes out;
  out.reserve(s.size() / 4 * 3);
  for (std::size_t i = 0; i < s.size(); i += 4) {
    const bool last = i + 4 == s.size();
    int pad = 0;
    std::uint32_t n = 0;
    for (std::size_t j = 0; j < 4; ++j) {
      const char c = s[i + j];
      if (c == '=' && last && j >= 2 && (j == 3 || s[i + 3] == '=')) {
        ++pad;
        n <<= 6;
        continue;
      }
      const int v = valueOf(c);
      if (v < 0 || pad) return std::nullopt;
      n = (n << 6) | static_cast<std::uint32_t>(v);
    }
    out.push_back(static_cast<std::uint8_t>(n >> 16));
    if (pad < 2) out.push_back(static_cast<std::uint8_t>(n >> 8));
    if (pad < 1) out.push_back(static_cast<std::uint8_t>(n));
  }
  return out;
}

KeyPair generateKeyPair() {
  Sexp params, key;
  if (gcrypt().gcry_sexp_build(&params.s, nullptr, "(genkey (ecc (curve Ed25519) (flags eddsa)))") != 0 ||
      gcrypt().gcry_pk_genkey(&key.s, params.s) != 0)
    throw std::runtime_error("libgcrypt: Ed25519 key generation failed");
  KeyPair pair;
  pair.privateKey = element(key.s, "d", kPrivateKeyBytes);
  pair.publicKey = *publicKeyOf(pair.privateKey);
  return pair;
}

std::optional<Bytes> publicKeyOf(const Bytes& privateKey) {
  if (privateKey.size() != kPrivateKeyBytes) return std::nullopt;
  // An EC context made from a key that has only d computes q on request.
  Sexp key;
  if (gcrypt().gcry_sexp_build(&key.s, nullptr, "(private-key (ecc (curve Ed25519) (flags eddsa) (d %b)))",
                      static_cast<int>(privateKey.size()), privateKey.data()) != 0)
    return std::nullopt;
  gcry_ctx_t ctx = nullptr;
  if (gcrypt().gcry_mpi_ec_new(&ctx, key.s, nullptr) != 0) return std::nullopt;
  gcry_mpi_t q = gcrypt().gcry_mpi_ec_get_mpi("q@eddsa", ctx, 1);
  gcrypt().gcry_ctx_release(ctx);
  if (!q) return std::nullopt;
  unsigned int bits = 0;
  const auto* data = static_cast<const std::uint8_t*>(gcrypt().gcry_mpi_get_opaque(q, &bits));
  Bytes out;
  if (data && bits / 8 == kPublicKeyBytes) out.assign(data, data + kPublicKeyBytes);
  gcrypt().gcry_mpi_release(q);
  if (out.empty()) return std::nullopt;
  return out;
}

Bytes sign(const Bytes& privateKey, const Bytes& message) {
  const auto publicKey = publicKeyOf(privateKey);
  if (!publicKey) throw std::invalid_argument("an Ed25519 private key has 32 bytes");
  Sexp key, data, sig;
  if (gcrypt().gcry_sexp_build(&key.s, nullptr, "(private-key (ecc (curve Ed25519) (flags eddsa) (q %b) (d %b)))",
                      static_cast<int>(publicKey->size()), publicKey->data(), static_cast<int>(privateKey.size()),
                      privateKey.data()) != 0 ||
      gcrypt().gcry_sexp_build(&data.s, nullptr, "(data (flags eddsa) (hash-algo sha512) (value %b))",
                      static_cast<int>(message.size()), message.data()) != 0 ||
      gcrypt().gcry_pk_sign(&sig.s, data.s, key.s) != 0)
    throw std::runtime_error("libgcrypt: Ed25519 signing failed");
  Bytes out = element(sig.s, "r", 32);
  const Bytes s = element(sig.s, "s", 32);
  out.insert(out.end(), s.begin(), s.end());
  return out;
}

bool verify(const Bytes& publicKey, const Bytes& message, const Bytes& signature) {
  if (publicKey.size() != kPublicKeyBytes || signature.size() != kSignatureBytes) return false;
  Sexp key, data, sig;
  if (gcrypt().gcry_sexp_build(&key.s, nullptr, "(public-key (ecc (curve Ed25519) (flags eddsa) (q %b)))",
                      static_cast<int>(publicKey.size()), publicKey.data()) != 0 ||
      gcrypt().gcry_sexp_build(&data.s, nullptr, "(data (flags eddsa) (hash-algo sha512) (value %b))",
                      static_cast<int>(message.size()), message.data()) != 0 ||
      gcrypt().gcry_sexp_build(&sig.s, nullptr, "(sig-val (eddsa (r %b) (s %b)))", 32, signature.data(), 32,
                      signature.data() + 32) != 0)
    return false;
  return gcrypt().gcry_pk_verify(sig.s, data.s, key.s) == 0;
}

}  // namespace veltrano::crypto
