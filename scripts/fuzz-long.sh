#!/usr/bin/env bash
# scripts/fuzz-long.sh [executions] [target...]
# The long fuzz runs: each target until it has run the given number of inputs (default ten
# million), one after another, from the same corpora as scripts/fuzz.sh, which it also builds.
# Prints each target's executions, time and rate. Not part of CI: on two idle cores the whole
# set takes a few hours.
#
# The database target runs here with libmdb in the fuzzing process (mdb_in_process_fuzzer), so
# the inputs need no fork and the sanitizers see what libmdb hands our code. libmdb is not
# hardened against damaged files, so that run goes on past crashes (libFuzzer's fork mode) and
# every crash is then sorted: one whose faulting frame lies in libmdb must be contained by the
# programs' child process (the input is replayed through mdb_fuzzer, which must pass), one in
# our code fails the run.
#
# Environment: as scripts/fuzz.sh. ASAN_OPTIONS defaults to a smaller quarantine, which
# roughly doubles the rate of the allocation-heavy targets.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
executions=${1:-10000000}
shift || true
build=${FUZZ_BUILD_DIR:-build-fuzz}
case $build in /*) ;; *) build=$root/$build ;; esac
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16}

all_targets=$(sed -n 's/^set(FUZZ_TARGETS \(.*\))$/\1/p' tests/fuzz/targets.cmake)
targets=${*:-$all_targets}

source "$root/scripts/fuzz-common.sh"

# Lines "#<executions>..." of a libFuzzer log, the last one's count.
executed() { grep -oE '^#[0-9]+' "$1" | tail -n 1 | tr -d '#' || true; }

# Sorts the crashes of the in-process database run; returns non-zero for one in our code or one
# the child process does not contain.
sort_database_crashes() {
  local artifacts=$1 bad=0 input frame
  for input in "$artifacts"/crash-* "$artifacts"/timeout-* "$artifacts"/oom-*; do
    [ -e "$input" ] || continue
    frame=$(cd "$build/fuzz" && "$build/tests/fuzz/mdb_in_process_fuzzer" "$input" 2>&1 |
            grep -m1 -E '^ +#0 ' | sed -E 's/^ +#0 0x[0-9a-f]+ in //; s/ \(BuildId.*//' || true)
    if (cd "$build/fuzz" && "$build/tests/fuzz/mdb_fuzzer" "$input" >/dev/null 2>&1); then
      contained=contained
    else
      contained="NOT CONTAINED"
      bad=1
    fi
    case $frame in
      *libmdb.so*) ;;
      "") frame="(no fault on replay)" ;;
      *) bad=1 ;;
    esac
    echo "   $(basename "$input"): ${frame:0:110} -- $contained"
  done
  return $bad
}

for target in $targets; do
  artifacts=$build/fuzz/artifacts/long-$target/
  log=$build/fuzz/long-$target.log
  echo "== $target: $executions executions"
  if [ "$target" != mdb ]; then
    run_fuzzer "$target" -runs="$executions" 30 "$artifacts" "$log"
    continue
  fi
  work=$build/fuzz/corpus/mdb_in_process
  mkdir -p "$work" "$artifacts" "$seeds/mdb"
  start=$(date +%s)
  # In a process group of its own: fork mode takes no run count, so the script stops the
  # parent and its jobs together once the count is reached.
  (cd "$build/fuzz" && exec setsid nice -n 10 "$build/tests/fuzz/mdb_in_process_fuzzer" \
      -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 -timeout=30 \
      -rss_limit_mb=2048 -artifact_prefix="$artifacts" "$work" "$seeds/mdb") >"$log" 2>&1 &
  runner=$!
  while kill -0 "$runner" 2>/dev/null; do
    sleep 10
    if [ "$(executed "$log")" -ge "$executions" ] 2>/dev/null; then
      kill -TERM -- -"$runner" 2>/dev/null || true
      break
    fi
  done
  wait "$runner" || true
  seconds=$(( $(date +%s) - start ))
  count=$(executed "$log")
  echo "   $count executions in $seconds s ($(( ${count:-0} / (seconds > 0 ? seconds : 1) ))/s);" \
       "crashes, all replayed:"
  sort_database_crashes "$artifacts" || failed+=("$target")
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "long fuzz runs that failed: ${failed[*]}"
  exit 1
fi
echo "all long fuzz runs ran clean"
