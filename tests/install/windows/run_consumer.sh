#!/usr/bin/env bash
# Installs the Windows build into a temporary prefix, builds the consumer project against it
# with the MinGW toolchain and find_package (the packages named by their folders: the toolchain
# looks for packages below the MinGW root only), and runs it under Wine from the installed bin
# folder, where the libraries it links must lie beside it.
set -euo pipefail
build="$1"
root="$(cd "$(dirname "$0")/../../.." && pwd)"
src="$(cd "$(dirname "$0")" && pwd)/consumer"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/lumadata.dll bin/lumagrid.dll bin/libveltrano-platform.dll lib/liblumadata.dll.a lib/liblumagrid.dll.a; do
  [ -f "$prefix/$f" ] || { echo "not installed: $f" >&2; exit 1; }
done
cmake -S "$src" -B "$work/build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DLumagrid_DIR="$prefix/lib/cmake/Lumagrid" \
  -DLumadata_DIR="$prefix/lib/cmake/Lumadata" -DVeltranoPlatform_DIR="$prefix/lib/cmake/VeltranoPlatform" >/dev/null
cmake --build "$work/build" -j2 >/dev/null
cp "$work/build/product.exe" "$prefix/bin/"
WINDOWS_BUILD_DIR="$build" "$root/scripts/wine-run" "$prefix/bin/product.exe" | tr -d '\r' | tee "$work/product.out"
grep -q 'font=굴림체 valid=1 xls=0/0/' "$work/product.out"
