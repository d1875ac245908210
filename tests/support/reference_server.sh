# Sourced by the wrappers that run Windows test programs under Wine beside the Linux reference
# server. Set `reference_server` to the server program first.
#
# start_reference_server OUT-FILE [SERVER-ARGS...]: starts the server on a loopback port it
# picks, its output in OUT-FILE; sets `reference_host` to the address it printed (within 10 s),
# else shows the output and exits 1. stop_reference_servers ends every server started so.

reference_pids=()

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
