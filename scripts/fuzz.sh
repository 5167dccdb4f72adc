#!/usr/bin/env bash
# scripts/fuzz.sh [seconds-per-target] [target...]
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer) in
# build-fuzz/ and runs each for the given time (default 60 s), one after another, from the
# committed seed corpus, seeds made by our own writers and what earlier runs found.
# Fails when any target crashes, leaks, hangs or breaks one of its properties; the input that did
# it is kept in build-fuzz/fuzz/artifacts/<target>/.
# Environment: FUZZ_BUILD_DIR (default build-fuzz), JOBS (build parallelism, default 2), TMPDIR
# (scratch files of the targets; /dev/shm when unset).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
seconds=${1:-60}
shift || true
build=${FUZZ_BUILD_DIR:-build-fuzz}
case $build in /*) ;; *) build=$root/$build ;; esac

all_targets=$(sed -n 's/^set(FUZZ_TARGETS \(.*\))$/\1/p' tests/fuzz/targets.cmake)
targets=${*:-$all_targets}

source "$root/scripts/fuzz-common.sh"

for target in $targets; do
  # OpenMDB gives the reader of a damaged database a minute before it stops it.
  timeout=30
  [ "$target" = mdb ] && timeout=100
  echo "== $target: ${seconds} s"
  run_fuzzer "$target" -max_total_time="$seconds" "$timeout" "$build/fuzz/artifacts/$target/" \
    "$build/fuzz/$target.log"
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz targets that failed: ${failed[*]}"
  exit 1
fi
echo "all fuzz targets ran clean"
