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

echo "== configuring and building the fuzz targets in $build"
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
  -DBUILD_FUZZERS=ON -DBUILD_GUI=OFF >/dev/null
pe_target=""
if ninja -C "$build" -t targets all 2>/dev/null | grep -q '^common_pe_fixtures:'; then
  pe_target=common_pe_fixtures
fi
cmake --build "$build" -j"${JOBS:-2}" --target fuzzers make-sample-db jet-write $pe_target

# Seeds made by the programs' own writers; rebuilt on every run.
seeds=$build/fuzz/seeds
rm -rf "$seeds"
mkdir -p "$seeds/mdb" "$seeds/version_info"
"$build/tests/fuzz/make-fuzz-seeds" "$seeds"
"$build/tools/make-sample-db" "$seeds/mdb/sample_3_rows.mdb" --rows 3
"$build/tools/make-sample-db" "$seeds/mdb/sample_shuffled.mdb" --rows 12 --shuffled
tables=$(mktemp -d)
trap 'rm -rf "$tables"' EXIT
printf 'num:Double\tLine1:Text(20)\tLine2:Memo\tPaid:Currency\tSeen:DateTime\tDone:YesNo\n2.5\t山田\t\\N\t12.5\t2026/11/05 9:30:05\tTrue\n\\N\t\\N\tメモ\\n二行目\t-1\t1999-01-01\t0\n' \
  >"$tables/RepChk.tsv"
printf 'num:Text(10)\tLine1:Text(255)\tLine11:Integer\nb\t\t7\na\t佐藤\t\\N\n' >"$tables/Rep.tsv"
printf 'num:Long\tLINE1:Text(255)\n' >"$tables/RepChkList.tsv"
"$build/tools/jet-write" "$seeds/mdb/types.mdb" "$tables/RepChk.tsv" "$tables/Rep.tsv" "$tables/RepChkList.tsv"
if [ -n "$pe_target" ]; then
  cp "$build"/common/testdata/*.exe "$seeds/version_info/"
fi

# The targets that work on files write them anew for every input: keep that in memory.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
fi

failed=()
for target in $targets; do
  work=$build/fuzz/corpus/$target
  artifacts=$build/fuzz/artifacts/$target/
  mkdir -p "$work" "$artifacts" "$seeds/$target"
  committed=$root/tests/fuzz/corpus/$target
  [ -d "$committed" ] || committed=""
  # OpenMDB gives a child reading a damaged database a minute before it stops it.
  timeout=30
  [ "$target" = mdb ] && timeout=100
  echo "== $target: ${seconds} s"
  log=$build/fuzz/$target.log
  if (cd "$build/fuzz" && nice -n 10 "$build/tests/fuzz/${target}_fuzzer" \
        -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$artifacts" "$work" $committed "$seeds/$target") >"$log" 2>&1; then
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    line=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
    echo "   ok: $execs executions; last: $line"
  else
    echo "   FAILED: see $log and $artifacts"
    grep -E 'ERROR|SUMMARY|property failed|Test unit written' "$log" | head -n 10 || true
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz targets that failed: ${failed[*]}"
  exit 1
fi
echo "all fuzz targets ran clean"
