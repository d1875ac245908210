// veltrano-sign: makes the key pair a site signs its update files with, signs files and checks
// signatures, in the forms the updater reads.
//
//   veltrano-sign keygen PRIVATE PUBLIC   writes a new key pair (refuses to overwrite a file)
//   veltrano-sign sign PRIVATE FILE...    writes FILE.sig for each FILE
//   veltrano-sign verify PUBLIC FILE...   checks FILE against FILE.sig
//
// Key files: one line of standard base64 — the 32-byte Ed25519 public key in PUBLIC (the value
// of the deploy setting UPDATE_PUBLIC_KEY), the 32-byte private seed in PRIVATE (created
// readable by its owner only). A signature file holds one line of standard base64 of the
// 64-byte Ed25519 signature of the file's 32-byte SHA-256 digest.
//
// Exit status: 0 all done / all signatures good; 1 a file could not be read or signed, or some
// signature is missing or bad; 2 wrong usage.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/crypto/crypto.h"

namespace crypto = veltrano::crypto;

namespace {

int usage() {
  std::fputs(
      "usage: veltrano-sign keygen PRIVATE PUBLIC\n"
      "       veltrano-sign sign PRIVATE FILE...\n"
      "       veltrano-sign verify PUBLIC FILE...\n",
      stderr);
  return 2;
}

bool readText(const std::string& path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream s;
  s << in.rdbuf();
  out = s.str();
  return true;
}

// The digest of a file, read in pieces.
bool digestOf(const std::string& path, crypto::Digest& digest) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  crypto::Sha256 sha;
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    sha.update(reinterpret_cast<const std::uint8_t*>(buffer.data()), static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) return false;
  digest = sha.finish();
  return true;
}

// Creates `path` (never overwriting) with `text` and the given mode.
bool createFile(const std::string& path, const std::string& text, mode_t mode) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
  if (fd < 0) return false;
  const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  return ::close(fd) == 0 && ok;
}

std::optional<crypto::Bytes> readKey(const std::string& path, std::size_t size) {
  std::string text;
  if (!readText(path, text)) return std::nullopt;
  auto key = crypto::base64Decode(text);
  if (!key || key->size() != size) return std::nullopt;
  return key;
}

int keygen(const std::string& privatePath, const std::string& publicPath) {
  const crypto::KeyPair pair = crypto::generateKeyPair();
  if (!createFile(privatePath, crypto::base64Encode(pair.privateKey) + "\n", 0600)) {
    std::fprintf(stderr, "veltrano-sign: cannot create %s (it must not exist yet)\n", privatePath.c_str());
    return 1;
  }
  if (!createFile(publicPath, crypto::base64Encode(pair.publicKey) + "\n", 0644)) {
    std::fprintf(stderr, "veltrano-sign: cannot create %s (it must not exist yet)\n", publicPath.c_str());
    ::unlink(privatePath.c_str());
    return 1;
  }
  return 0;
}

int signFiles(const std::string& privatePath, const std::vector<std::string>& files) {
  const auto key = readKey(privatePath, crypto::kPrivateKeyBytes);
  if (!key) {
    std::fprintf(stderr, "veltrano-sign: %s is not a private key file\n", privatePath.c_str());
    return 1;
  }
  int status = 0;
  for (const std::string& file : files) {
    crypto::Digest digest;
    if (!digestOf(file, digest)) {
      std::fprintf(stderr, "veltrano-sign: cannot read %s\n", file.c_str());
      status = 1;
      continue;
    }
    const crypto::Bytes sig = crypto::sign(*key, crypto::Bytes(digest.begin(), digest.end()));
    std::ofstream out(file + ".sig", std::ios::binary | std::ios::trunc);
    out << crypto::base64Encode(sig) << "\n";
    if (!out.flush()) {
      std::fprintf(stderr, "veltrano-sign: cannot write %s.sig\n", file.c_str());
      status = 1;
    }
  }
  return status;
}

int verifyFiles(const std::string& publicPath, const std::vector<std::string>& files) {
  const auto key = readKey(publicPath, crypto::kPublicKeyBytes);
  if (!key) {
    std::fprintf(stderr, "veltrano-sign: %s is not a public key file\n", publicPath.c_str());
    return 1;
  }
  int status = 0;
  for (const std::string& file : files) {
    std::string sigText;
    crypto::Digest digest;
    const char* verdict = "good";
    if (!readText(file + ".sig", sigText)) verdict = "no signature";
    else if (!digestOf(file, digest)) verdict = "unreadable";
    else if (const auto sig = crypto::base64Decode(sigText); !sig || sig->size() != crypto::kSignatureBytes)
      verdict = "malformed signature";
    else if (!crypto::verify(*key, crypto::Bytes(digest.begin(), digest.end()), *sig))
      verdict = "BAD signature";
    std::printf("%s: %s\n", file.c_str(), verdict);
    if (std::string(verdict) != "good") status = 1;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 3 && args[0] == "keygen") return keygen(args[1], args[2]);
  if (args.size() >= 3 && args[0] == "sign") return signFiles(args[1], {args.begin() + 2, args.end()});
  if (args.size() >= 3 && args[0] == "verify") return verifyFiles(args[1], {args.begin() + 2, args.end()});
  return usage();
}
