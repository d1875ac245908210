#!/usr/bin/env bash
# Installs the project into a temporary prefix, builds the consumer project against it with
# find_package, and runs it with a private registry store.
set -euo pipefail
build="$1"
src="$(cd "$(dirname "$0")" && pwd)/consumer"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$src" -B "$work/build" -DCMAKE_PREFIX_PATH="$work/prefix" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$work/build" -j2 >/dev/null
export VELTRANO_REGISTRY="$work/registry.db"
LD_LIBRARY_PATH="$work/prefix/lib:$work/prefix/lib/x86_64-linux-gnu" "$work/build/product"
