#!/usr/bin/env bash
# A whole update run of meridox.exe under Wine against the Linux reference server with its
# sample data: the installed product TVSMS gets its file, and its version is recorded in the
# registry (a private store of the Wine registry). Skipped (77) when the Linux build has no
# server. Usage: run_meridox_update.sh SOURCE-DIR WINDOWS-BUILD-DIR LINUX-BUILD-DIR
set -euo pipefail
root="$1" build="$2" linux="$3"
server="$linux/server/veltrano-server" sign="$linux/tools/sign/veltrano-sign"
if [ ! -x "$server" ] || [ ! -x "$sign" ]; then
  echo "skipped: no Linux reference server ($server) or signing tool"
  exit 77
fi
wine_run=("$root/scripts/wine-run")
export WINDOWS_BUILD_DIR="$build"

work="$(mktemp -d)"
server_pid=""
store="meridox-run-$$"
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  "${wine_run[@]}" reg delete "HKCU\\Software\\Veltrano\\Stores\\$store" /f >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

mkdir -p "$work/data" "$work/apps/TVSMS"
"$server" --listen 127.0.0.1:0 --data "$work/data" >"$work/server.out" 2>&1 &
server_pid=$!
host=""
for _ in $(seq 100); do
  host="$(sed -n 's/^listening on //p' "$work/server.out" | head -n 1)"
  [ -n "$host" ] && break
  sleep 0.1
done
[ -n "$host" ] || { echo "the reference server did not start:"; cat "$work/server.out"; exit 1; }
"$root/server/make-sample-data" "$work/data" "$host" >/dev/null
"$sign" keygen "$work/run.key" "$work/run.pub"
find "$work/data/files" -type f ! -name '*.sig' -exec "$sign" sign "$work/run.key" {} +

apps="$(winepath -w "$work/apps/TVSMS" 2>/dev/null || echo "Z:${work//\//\\}\\apps\\TVSMS")"
keys="HKCU\\Software\\Veltrano\\Stores\\$store\\HKEY_CURRENT_USER\\SOFTWARE\\VELTRANO"
"${wine_run[@]}" reg add "$keys\\COMMON\\Installed" /v TVSMS /t REG_SZ /d "$apps" /f >/dev/null

export VELTRANO_REGISTRY="$store" VELTRANO_QUERY_HOST="$host"
export VELTRANO_UPDATE_PUBLIC_KEY="$(cat "$work/run.pub")"
export VELTRANO_ANSWERS="Yes,Yes,OK" VELTRANO_UI_LOG="Z:${work//\//\\}\\ui.log"
status=0
(cd "$work" && timeout 120 "${wine_run[@]}" "$build/bin/meridox.exe") || status=$?
echo "meridox.exe ended with $status; its boxes:"
cat "$work/ui.log" 2>/dev/null || true
[ "$status" -eq 0 ] || exit 1

# File names are not case-sensitive on Windows: the run may place it as TVSMS.EXE.
placed="$(find "$work/apps/TVSMS" -maxdepth 1 -iname tvsms.exe | head -n 1)"
[ -n "$placed" ] && cmp "$placed" "$work/data/files/FILES/TVSMS/tvsms.exe" || { echo "tvsms.exe not placed"; exit 1; }
recorded="$("${wine_run[@]}" reg query "$keys\\TVSMS\\INSTALL FILES" /v TVSMS.EXE 2>/dev/null | tr -d '\r')"
echo "$recorded"
grep -q "TVSMS.EXE.*REG_SZ.*1\.4\.0" <<<"$recorded" || { echo "version 1.4.0 not recorded"; exit 1; }
echo "tvsms.exe placed and version 1.4.0 recorded"
