#!/usr/bin/env bash
# Runs a Windows test program under Wine beside a fresh Linux reference server that speaks HTTPS
# on loopback with a certificate for 127.0.0.1 signed by a throw-away CA made here. The program
# learns, in Windows form:
#   VELTRANO_TEST_HTTPS_SERVICE  the server's 127.0.0.1:PORT
#   VELTRANO_TEST_HTTPS_CA       the CA certificate (DER), which no store trusts yet
#   VELTRANO_TEST_HTTPS_FILES    the folder the server serves: small.txt and big.bin (4 MiB)
# The server ends with the program. Listing the tests needs no server. Exits 77 (skipped) when
# the Linux build has no server. Usage: with_https_server.sh LINUX-BUILD-DIR PROGRAM [ARGS...]
set -euo pipefail
root="$(cd "$(dirname "$0")/../../.." && pwd)"
linux="$1"
shift
source "$root/tests/support/reference_server.sh"
prepare_reference_server "$linux" "$@"
use_work_folder

mkdir -p "$work/certs" "$work/data/files"
(
  cd "$work/certs"
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=veltrano-test-ca -keyout ca.key -out ca.pem
  openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout key.pem -out cert.csr
  # The address as an IP entry, and once more as a DNS name for Wine, whose name check reads only
  # DNS entries.
  printf 'subjectAltName=IP:127.0.0.1,DNS:127.0.0.1\n' >ext.cnf
  openssl x509 -req -in cert.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile ext.cnf -out cert.pem
  openssl x509 -in ca.pem -outform der -out ca.der
) >"$work/certs/openssl.out" 2>&1 || { cat "$work/certs/openssl.out"; exit 1; }
printf 'small file over HTTPS\r\n' >"$work/data/files/small.txt"
head -c $((4 * 1024 * 1024)) /dev/urandom >"$work/data/files/big.bin"

start_reference_server "$work/server.out" --data "$work/data" --tls-cert "$work/certs/cert.pem" \
  --tls-key "$work/certs/key.pem"
host="$reference_host"

VELTRANO_TEST_HTTPS_SERVICE="$host"
VELTRANO_TEST_HTTPS_CA="$(windows_path "$work/certs/ca.der")"
VELTRANO_TEST_HTTPS_FILES="$(windows_path "$work/data/files")"
export VELTRANO_TEST_HTTPS_SERVICE VELTRANO_TEST_HTTPS_CA VELTRANO_TEST_HTTPS_FILES
"$root/scripts/wine-run" "$@"
