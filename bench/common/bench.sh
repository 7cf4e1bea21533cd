# shellcheck shell=bash disable=SC2034,SC2154
# Sourced by the benchmark scripts: the caller sets `bench_name` and uses the
# functions and `bench_bin` below. The helper programs of every benchmark are
# one CMake project (bench/), built in `bench_build` (SORANA_BENCH_BUILD, else
# build/bench), its programs in bin/.
bench_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bench_build=${SORANA_BENCH_BUILD:-$(cd "$bench_root/.." && pwd)/build/bench}
bench_bin=$bench_build/bin

bench_fail() {
  echo "$bench_name: $*" >&2
  exit 1
}

# True for BENCH_QUICK=1: one short round, to show that the benchmark still
# builds and runs; its ratios mean nothing then.
bench_quick() {
  [ "${BENCH_QUICK:-}" = 1 ]
}

# bench_quietly LABEL COMMAND...: runs the command with its output kept in a
# log that is shown only when the command fails, and then fails the benchmark.
bench_quietly() {
  local label=$1 log=$bench_build/$bench_name.log
  shift
  mkdir -p "$bench_build"
  "$@" >"$log" 2>&1 || {
    cat "$log" >&2
    bench_fail "$label failed"
  }
}

# bench_build TARGET...: configures the project and builds the targets; a
# failure shows CMake's or the compiler's output.
bench_build() {
  bench_quietly "configuring $bench_root" cmake -S "$bench_root" -B "$bench_build" -G Ninja
  bench_quietly "building $*" cmake --build "$bench_build" -j "$(nproc)" --target "$@"
}
