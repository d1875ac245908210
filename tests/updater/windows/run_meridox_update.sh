#!/usr/bin/env bash
# A whole update run of meridox.exe under Wine against the Linux reference server with its
# sample data, in a program folder of its own, with three installed products:
#  - TVSMS and TARVIC get their files, and the versions are recorded in the registry (a private
#    store of the Wine registry);
#  - TARVIC's tarvicsample.dll (the Windows build of the sample in-process server) is registered
#    by Wine's own regsvr32: its class appears under the store's HKEY_CLASSES_ROOT;
#  - the updater's own product publishes its next version as meridoxpch.exe, so the run ends by
#    handing off to the patch program: meridox.exe is replaced by the new version, the patch file
#    is deleted and every process of the relay ends.
# A second run of the new updater, in automatic mode, then finds nothing to update and starts the
# program its command text names; that command text holds Korean and a character outside code
# page 949, which must reach the started program intact.
# Skipped (77) when the Linux build has no server. Every wait is bounded.
# Usage: run_meridox_update.sh SOURCE-DIR WINDOWS-BUILD-DIR LINUX-BUILD-DIR
set -euo pipefail
root="$1" build="$2" linux="$3"
server="$linux/server/veltrano-server" sign="$linux/tools/sign/veltrano-sign"
if [ ! -x "$server" ] || [ ! -x "$sign" ]; then
  echo "skipped: no Linux reference server ($server) or signing tool"
  exit 77
fi
for built in meridox.exe tarvicsample.dll shell_recorder.exe; do
  [ -f "$build/bin/$built" ] || { echo "not built: $build/bin/$built"; exit 1; }
done
wine_run=("$root/scripts/wine-run")
export WINDOWS_BUILD_DIR="$build"

source "$root/tests/support/reference_server.sh"
reference_server="$server"
store="meridox-run-$$"
more_cleanup() {
  "${wine_run[@]}" reg delete "HKCU\\Software\\Veltrano\\Stores\\$store" /f >/dev/null 2>&1 || true
}
use_work_folder
fail() { echo "FAILED: $*"; exit 1; }
linux_path() { local p="${1#[Zz]:}"; echo "${p//\\//}"; }
# Runs "$@" every 0.2 s until it succeeds; false after `tries` attempts.
wait_for() {
  local tries="$1"; shift
  for _ in $(seq "$tries"); do "$@" && return 0; sleep 0.2; done
  return 1
}

mkdir -p "$work/data" "$work/apps/TVSMS" "$work/apps/TARVIC" "$work/prog"
cp "$build/bin/meridox.exe" "$work/prog/meridox.exe"
start_reference_server "$work/server.out" --data "$work/data"
host="$reference_host"
"$root/server/make-sample-data" "$work/data" "$host" "$build/bin/tarvicsample.dll" >/dev/null
# The updater's next version: the same program with bytes appended, so that it can be told apart.
mkdir -p "$work/data/files/FILES/MERIDOX"
next="$work/data/files/FILES/MERIDOX/meridoxpch.exe"
{ cat "$build/bin/meridox.exe"; printf '\nnext version\n'; } >"$next"
sqlite3 "$work/data/db/qz_update.sqlite" <<SQL
insert into qz_product values('Meridox', 'MERIDOX', 'Meridox 업데이트', '1.0.0', '', 0);
insert into qz_files values('Meridox', 'meridoxpch.exe', '$host/FILES/MERIDOX/', '{APPPATH}\', '0', '1.0.1',
  '업데이트 프로그램', 'MERIDOX');
SQL
"$sign" keygen "$work/run.key" "$work/run.pub"
find "$work/data/files" -type f ! -name '*.sig' -exec "$sign" sign "$work/run.key" {} +

keys="HKCU\\Software\\Veltrano\\Stores\\$store\\HKEY_CURRENT_USER\\SOFTWARE\\VELTRANO"
classes="HKCU\\Software\\Veltrano\\Stores\\$store\\HKEY_CLASSES_ROOT"
for product in TVSMS:"$work/apps/TVSMS" TARVIC:"$work/apps/TARVIC" Meridox:"$work/prog"; do
  "${wine_run[@]}" reg add "$keys\\COMMON\\Installed" /v "${product%%:*}" /t REG_SZ \
    /d "$(windows_path "${product#*:}")" /f >/dev/null
done

export VELTRANO_REGISTRY="$store" VELTRANO_QUERY_HOST="$host"
export VELTRANO_UPDATE_PUBLIC_KEY="$(cat "$work/run.pub")"
# 업데이트 at the listing; "No" to the update history (no Notepad is started).
export VELTRANO_ANSWERS="Yes,No" VELTRANO_UI_LOG="$(windows_path "$work/ui.log")"
status=0
(cd "$work" && timeout 120 "${wine_run[@]}" "$work/prog/meridox.exe") || status=$?
echo "meridox.exe ended with $status; its boxes:"
cat "$work/ui.log" 2>/dev/null || true
[ "$status" -eq 0 ] || fail "the run ended with $status"
grep -q "주요 업데이트 기록을 보시겠습니까" "$work/ui.log" || fail "no completion box offering the history"

# File names are not case-sensitive on Windows: the run may place them in upper case.
placed() { find "$1" -maxdepth 1 -iname "$2" | head -n 1; }
for file in TVSMS/tvsms.exe TARVIC/tarvic.exe TARVIC/tarvicsample.dll; do
  at="$(placed "$work/apps/${file%/*}" "${file#*/}")"
  [ -n "$at" ] && cmp -s "$at" "$work/data/files/FILES/$file" || fail "$file not placed"
done
for record in TVSMS:TVSMS.EXE:1.4.0 TARVIC:TARVICSAMPLE.DLL:1.0.0 MERIDOX:MERIDOXPCH.EXE:1.0.1; do
  IFS=: read -r product file version <<<"$record"
  "${wine_run[@]}" reg query "$keys\\$product\\INSTALL FILES" /v "$file" 2>/dev/null | tr -d '\r' |
    grep -q "$file.*REG_SZ.*${version//./\\.}" || fail "version $version of $file not recorded"
done
echo "files placed and versions recorded"

# regsvr32 runs on its own after the run started it (unregister, then register).
registered() {
  "${wine_run[@]}" reg query "$classes\\TarvicSample.Control\\CLSID" /ve 2>/dev/null | tr -d '\r' |
    grep -aq "{3F6A1B20-7C4D-4E8F-9A01-5B6C7D8E9F01}"
}
wait_for 150 registered || fail "regsvr32 did not register tarvicsample.dll"
server_file="$("${wine_run[@]}" reg query \
  "$classes\\CLSID\\{3F6A1B20-7C4D-4E8F-9A01-5B6C7D8E9F01}\\InprocServer32" /ve 2>/dev/null | tr -d '\r' |
  LC_ALL=C sed -n 's/.*REG_SZ[[:space:]]*//p')"
[ "$(linux_path "$server_file")" -ef "$(placed "$work/apps/TARVIC" tarvicsample.dll)" ] ||
  fail "the class names $server_file ($(linux_path "$server_file")), not the placed library $(placed "$work/apps/TARVIC" tarvicsample.dll)"
echo "tarvicsample.dll registered by regsvr32: $server_file"

# The relay: the patch program replaces meridox.exe, the new updater deletes the patch file.
relayed() { [ -z "$(placed "$work/prog" meridoxpch.exe)" ] && cmp -s "$work/prog/meridox.exe" "$next"; }
wait_for 300 relayed || { ls -l "$work/prog"; fail "the relay did not replace meridox.exe and delete the patch file"; }
relay_processes() { pgrep -f "$(basename "$work").*meridox" >/dev/null; }
wait_for 150 eval '! relay_processes' || fail "processes of the relay still run: $(pgrep -af "$(basename "$work")")"
left="$(ls -A "$work/prog")"
[ "$left" = "meridox.exe" ] || fail "the program folder holds more than meridox.exe: $left"
echo "the relay replaced meridox.exe and ended"

# The new updater in automatic mode: nothing to update, the named program is started with its
# arguments as given.
record="$work/기록 ő.txt"
recorder="$(windows_path "$build/bin/shell_recorder.exe")"
export VELTRANO_ANSWERS="" VELTRANO_UI_LOG="$(windows_path "$work/second.log")"
status=0
(cd "$work" && timeout 120 "${wine_run[@]}" "$work/prog/meridox.exe" \
  "TVSMS,\"$recorder\" \"$(windows_path "$record")\" 한글 \"제품 ő\"") || status=$?
[ "$status" -eq 0 ] || { cat "$work/second.log" 2>/dev/null; fail "the automatic run ended with $status"; }
[ ! -s "$work/second.log" ] || { cat "$work/second.log"; fail "the automatic run showed a box"; }
wait_for 150 test -s "$record" || fail "the automatic run did not start its program"
[ "$(cat "$record")" = "한글|제품 ő" ] || fail "the program got \"$(cat "$record")\""
echo "the new updater's automatic run started its program with the command text intact"
