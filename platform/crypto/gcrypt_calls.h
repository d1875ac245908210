#pragma once
// The libgcrypt functions this module calls, through one table. On Linux the library is loaded
// on first use, so a program that never signs or checks a file (and the updater before its first
// request) does not load it; the Windows build links it and fills the table from the linked calls.

#include <gcrypt.h>

#define VELTRANO_GCRYPT_CALLS(X)                                                                     \
  X(gcry_check_version) X(gcry_control) X(gcry_ctx_release) X(gcry_md_close) X(gcry_md_open)         \
  X(gcry_md_read) X(gcry_md_reset) X(gcry_md_write) X(gcry_mpi_ec_get_mpi) X(gcry_mpi_ec_new)        \
  X(gcry_mpi_get_opaque) X(gcry_mpi_release) X(gcry_pk_genkey) X(gcry_pk_sign) X(gcry_pk_verify)     \
  X(gcry_sexp_build) X(gcry_sexp_find_token) X(gcry_sexp_nth_data) X(gcry_sexp_release)

namespace veltrano::crypto {

struct GcryptCalls {
#define VELTRANO_GCRYPT_FIELD(name) decltype(&::name) name = nullptr;
  VELTRANO_GCRYPT_CALLS(VELTRANO_GCRYPT_FIELD)
#undef VELTRANO_GCRYPT_FIELD
};

// The table, with libgcrypt loaded and initialised by the first call (thread-safe); throws
// std::runtime_error when the library cannot be loaded.
const GcryptCalls& gcrypt();

}  // namespace veltrano::crypto
