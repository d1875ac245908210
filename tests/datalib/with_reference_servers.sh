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
for arg in "$@"; do
  [ "$arg" = "--gtest_list_tests" ] && exec "$root/scripts/wine-run" "$@"
done
server="$linux/server/veltrano-server"
if [ ! -x "$server" ]; then
  echo "skipped: no Linux reference server ($server)"
  exit 77
fi

work="$(mktemp -d)"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# start NAME [SERVER-ARGS...]: sets $host to the address the server printed (within 10 s).
start() {
  local name="$1"
  shift
  "$root/server/make-sample-data" "$work/$name" 127.0.0.1:1 >/dev/null
  : >"$work/$name.out"  # there before the server writes to it, for the reads below
  "$server" --listen 127.0.0.1:0 --data "$work/$name" "$@" >>"$work/$name.out" 2>&1 &
  pids+=($!)
  host=""
  for _ in $(seq 100); do
    host="$(sed -n 's/^listening on //p' "$work/$name.out" | head -n 1)"
    [ -n "$host" ] && return 0
    sleep 0.1
  done
  echo "the reference server did not start:"
  cat "$work/$name.out"
  exit 1
}

start writable --writable
export VELTRANO_TEST_DATA_SERVICE="$host"
start readonly
export VELTRANO_TEST_DATA_SERVICE_READONLY="$host"
"$root/scripts/wine-run" "$@"
