# Sourced by the wrappers that run Windows test programs under Wine beside the Linux reference
# server; `root` is the source folder.
#
# prepare_reference_server LINUX-BUILD-DIR PROGRAM [ARGS...]: a listing of the program's tests
# runs at once, without a server; sets `reference_server` to the Linux build's server program, or
# exits 77 (skipped) when that has not been built.
# start_reference_server OUT-FILE [SERVER-ARGS...]: starts the server on a loopback port it
# picks, its output in OUT-FILE; sets `reference_host` to the address it printed (within 10 s),
# else shows the output and exits 1. stop_reference_servers ends every server started so.
# use_work_folder: sets `work` to a fresh temporary folder; on exit the caller's `more_cleanup`
# (when defined) runs, every server started here ends and the folder is removed.
# windows_path PATH: the Linux path as Wine's drive Z: names it.

reference_pids=()

prepare_reference_server() {
  local linux="$1" arg
  shift
  for arg in "$@"; do
    [ "$arg" = "--gtest_list_tests" ] && exec "$root/scripts/wine-run" "$@"
  done
  reference_server="$linux/server/veltrano-server"
  if [ ! -x "$reference_server" ]; then
    echo "skipped: no Linux reference server ($reference_server)"
    exit 77
  fi
}

start_reference_server() {
  local out="$1"
  shift
  : >"$out"  # there before the server writes to it, for the reads below
  "$reference_server" --listen 127.0.0.1:0 "$@" >>"$out" 2>&1 &
  reference_pids+=($!)
  reference_host=""
  for _ in $(seq 100); do
    reference_host="$(sed -n 's/^listening on //p' "$out" | head -n 1)"
    [ -n "$reference_host" ] && return 0
    sleep 0.1
  done
  echo "the reference server did not start:"
  cat "$out"
  exit 1
}

stop_reference_servers() {
  local pid
  for pid in "${reference_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${reference_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
}

use_work_folder() {
  work="$(mktemp -d)"
  trap 'declare -F more_cleanup >/dev/null && more_cleanup; stop_reference_servers; rm -rf "$work"' EXIT
}

windows_path() { echo "Z:${1//\//\\}"; }
