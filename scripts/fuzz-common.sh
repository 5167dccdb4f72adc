#!/usr/bin/env bash
# Sourced by scripts/fuzz.sh and scripts/fuzz-long.sh: builds the libFuzzer targets (clang,
# AddressSanitizer + UndefinedBehaviorSanitizer) in $build, makes the seeds our own writers
# produce in $seeds, and gives run_fuzzer. Expects $root (the source folder) and $build
# (absolute) to be set.

echo "== configuring and building the fuzz targets in $build"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
  -DBUILD_FUZZERS=ON -DBUILD_GUI=OFF >/dev/null
pe_target=""
if ninja -C "$build" -t targets all 2>/dev/null | grep -q '^common_pe_fixtures:'; then
  pe_target=common_pe_fixtures
fi
cmake --build "$build" -j"${JOBS:-2}" --target fuzzers mdb_in_process_fuzzer make-sample-db jet-write $pe_target

# Seeds made by the programs' own writers; rebuilt on every run.
seeds=$build/fuzz/seeds
rm -rf "$seeds"
mkdir -p "$seeds/mdb" "$seeds/version_info"
"$build/tests/fuzz/make-fuzz-seeds" "$seeds"
"$build/tools/make-sample-db" "$seeds/mdb/sample_3_rows.mdb" --rows 3
"$build/tools/make-sample-db" "$seeds/mdb/sample_shuffled.mdb" --rows 12 --shuffled
seed_tables=$(mktemp -d)
printf 'num:Double\tLine1:Text(20)\tLine2:Memo\tPaid:Currency\tSeen:DateTime\tDone:YesNo\n2.5\t山田\t\\N\t12.5\t2026/11/05 9:30:05\tTrue\n\\N\t\\N\tメモ\\n二行目\t-1\t1999-01-01\t0\n' \
  >"$seed_tables/RepChk.tsv"
printf 'num:Text(10)\tLine1:Text(255)\tLine11:Integer\nb\t\t7\na\t佐藤\t\\N\n' >"$seed_tables/Rep.tsv"
printf 'num:Long\tLINE1:Text(255)\n' >"$seed_tables/RepChkList.tsv"
"$build/tools/jet-write" "$seeds/mdb/types.mdb" "$seed_tables/RepChk.tsv" "$seed_tables/Rep.tsv" \
  "$seed_tables/RepChkList.tsv"
rm -rf "$seed_tables"
if [ -n "$pe_target" ]; then
  cp "$build"/common/testdata/*.exe "$seeds/version_info/"
fi

# The targets that work on files write them anew for every input: keep that in memory.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
fi

failed=()

# run_fuzzer <target> <limit option> <timeout seconds> <artifacts folder> <log>
# Runs one target from its working corpus, the committed seeds and the made ones, within the
# limit (-max_total_time=… or -runs=…). Prints the executions, time and rate; on a crash, leak,
# hang or broken property prints what the log says and adds the target to `failed`.
run_fuzzer() {
  local target=$1 limit=$2 timeout=$3 artifacts=$4 log=$5
  local work=$build/fuzz/corpus/$target committed=$root/tests/fuzz/corpus/$target
  local start count seconds
  mkdir -p "$work" "$artifacts" "$seeds/$target"
  [ -d "$committed" ] || committed=""
  start=$(date +%s)
  if (cd "$build/fuzz" && nice -n 10 "$build/tests/fuzz/${target}_fuzzer" \
        "$limit" -timeout="$timeout" -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$artifacts" "$work" $committed "$seeds/$target") >"$log" 2>&1; then
    seconds=$(( $(date +%s) - start ))
    count=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "   ok: $count executions in $seconds s ($(( count / (seconds > 0 ? seconds : 1) ))/s)"
  else
    echo "   FAILED: see $log and $artifacts"
    grep -E 'ERROR|SUMMARY|property failed|Test unit written' "$log" | head -n 10 || true
    failed+=("$target")
  fi
}
