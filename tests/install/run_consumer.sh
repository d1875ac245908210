#!/usr/bin/env bash
# Installs the project into a temporary prefix, builds the consumer project against it with
# find_package, and runs it and the installed programs with a private registry store and without
# LD_LIBRARY_PATH: every installed program and library must find its libraries by itself.
set -euo pipefail
build="$1"
src="$(cd "$(dirname "$0")" && pwd)/consumer"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
unset LD_LIBRARY_PATH
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
cmake -S "$src" -B "$work/build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/build" -j2 >/dev/null
export VELTRANO_REGISTRY="$work/registry.db" QT_QPA_PLATFORM=offscreen
"$work/build/product" | tee "$work/product.out"
grep -q '굴림체' "$work/product.out"

# The programs, each asked something that loads all of its libraries.
bin="$prefix/bin"
for program in meridox.exe monitor reg regsvr32 veltrano-server veltrano-sign make-sample-data; do
  [ -x "$bin/$program" ] || { echo "not installed: bin/$program" >&2; exit 1; }
done
"$bin/reg" query 'HKCU\SOFTWARE\VELTRANO\VUV2013\DISPLAY' /v FONTNAME | grep -q '굴림체'
"$bin/veltrano-server" --help >/dev/null
"$bin/monitor" --help >/dev/null
"$bin/veltrano-sign" keygen "$work/site.key" "$work/site.pub"
[ -s "$work/site.pub" ] || { echo "veltrano-sign made no public key" >&2; exit 1; }
rc=0
"$bin/regsvr32" /s "$work/missing.so" || rc=$?
[ "$rc" -eq 3 ] || { echo "regsvr32 ended with $rc, not 3 (module not loaded)" >&2; exit 1; }
# The updater with no query service and its list wait answered with Cancel: it starts, lists
# nothing and ends (its exit status is the run's business; 127 is the loader's).
rc=0
(cd "$work" && VELTRANO_QUERY_HOST=127.0.0.1:9 VELTRANO_ANSWERS=Cancel "$bin/meridox.exe" >"$work/meridox.out" 2>&1) || rc=$?
if [ "$rc" -eq 127 ] || grep -q 'error while loading shared libraries' "$work/meridox.out"; then
  cat "$work/meridox.out" >&2
  exit 1
fi
echo "installed tree runs"
