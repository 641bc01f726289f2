#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for a given number of seconds.
#   tests/fuzz/run.sh SECONDS [TARGET ...]      (targets: table options read_matrix parts
#                                                read_distance read_nexus literals; default all)
# Findings are written to tests/fuzz/findings/<target>/; keep each one there as a regression
# input (the replay tests of every build run them). Exits 1 when any target finds a fault.
set -euo pipefail
seconds=${1:?usage: tests/fuzz/run.sh SECONDS [TARGET ...]}
shift
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(table options read_matrix read_distance read_nexus literals parts)

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S "$root" -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DLABMIX_FUZZ=ON >/dev/null
cmake --build "$build" -j2 --target $(printf 'fuzz_%s ' "${targets[@]}")

status=0
for t in "${targets[@]}"; do
  work=$(mktemp -d)
  mkdir -p "$root/tests/fuzz/findings/$t"
  cp -r "$root/tests/fuzz/corpus/$t/." "$work/"
  echo "== fuzz_$t for ${seconds}s"
  if ! "$build/tests/fuzz/fuzz_$t" "$work" -max_total_time="$seconds" -rss_limit_mb=2048 \
      -max_len=65536 -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$root/tests/fuzz/findings/$t/" 2>"$build/fuzz_$t.log"; then
    echo "fuzz_$t found a fault: see $build/fuzz_$t.log and tests/fuzz/findings/$t/"
    status=1
  fi
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb|cov:' "$build/fuzz_$t.log" | tail -3
  rm -rf "$work"
done
exit $status
