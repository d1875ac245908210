#include "platform/crypto/gcrypt_calls.h"

#ifndef _WIN32
#include "platform/runtime/shared_library.h"
#endif

namespace veltrano::crypto {
namespace {

GcryptCalls load() {
  GcryptCalls calls;
#ifdef _WIN32
#define VELTRANO_GCRYPT_TAKE(name) calls.name = &::name;
#else
  static const SharedLibrary library(VELTRANO_GCRYPT_SONAME);
#define VELTRANO_GCRYPT_TAKE(name) library.resolve(calls.name, #name);
#endif
  VELTRANO_GCRYPT_CALLS(VELTRANO_GCRYPT_TAKE)
#undef VELTRANO_GCRYPT_TAKE
  // No secure memory: the keys handled here are signing keys read from files anyway, and
  // secure memory would need privileges the updater does not have.
  calls.gcry_check_version(nullptr);
  calls.gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
  calls.gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
  return calls;
}

}  // namespace

const GcryptCalls& gcrypt() {
  static const GcryptCalls calls = load();
  return calls;
}

}  // namespace veltrano::crypto
