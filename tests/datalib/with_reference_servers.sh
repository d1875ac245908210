#!/usr/bin/env bash
# Runs a Windows test program of the data library under Wine beside two fresh Linux reference
# servers on loopback, each over its own sample data: one writable, one read-only, named to the
# program in VELTRANO_TEST_DATA_SERVICE and VELTRANO_TEST_DATA_SERVICE_READONLY. Both end with
# the program. Listing the tests needs no server. Exits 77 (skipped) when the Linux build has no
# server. Usage: with_reference_servers.sh LINUX-BUILD-DIR PROGRAM [ARGS...]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
linux="$1"
shift
source "$root/tests/support/reference_server.sh"
prepare_reference_server "$linux" "$@"
use_work_folder

# start NAME [SERVER-ARGS...]: a server over fresh sample data of its own; sets $host.
start() {
  local name="$1"
  shift
  "$root/server/make-sample-data" "$work/$name" 127.0.0.1:1 >/dev/null
  start_reference_server "$work/$name.out" --data "$work/$name" "$@"
  host="$reference_host"
}

start writable --writable
export VELTRANO_TEST_DATA_SERVICE="$host"
start readonly
export VELTRANO_TEST_DATA_SERVICE_READONLY="$host"
"$root/scripts/wine-run" "$@"
