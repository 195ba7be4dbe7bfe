#!/usr/bin/env bash
# Builds the libFuzzer target (clang, address and undefined-behaviour sanitizers) and runs it on one job.
#
#   fuzz/run.sh [SECONDS]        fuzz for SECONDS (default 60); exits non-zero on a finding
#   fuzz/run.sh --make-corpus    regenerate the committed seed corpus fuzz/corpus/ from the catalogue
#
# The working corpus (seeds plus what the fuzzer found interesting) is kept in the build directory
# ($TARVEL_FUZZ_BUILD, default build/fuzz), so later runs continue where earlier ones stopped. Crashing
# inputs are written to its artifacts/ folder; replay one with: <build>/fuzz_units <file>.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${TARVEL_FUZZ_BUILD:-$root/build/fuzz}
clang_version=16

libfuzzer=/usr/lib/llvm-$clang_version/lib/clang/$clang_version/lib/linux/libclang_rt.fuzzer-x86_64.a
if ! command -v "clang++-$clang_version" >/dev/null || [ ! -e "$libfuzzer" ]; then
    # libFuzzer itself ships in Debian's libclang-rt-N-dev.
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "clang-$clang_version" "libclang-rt-$clang_version-dev" >/dev/null
fi
command -v cmake >/dev/null || python3 -m pip install -q cmake
command -v ninja >/dev/null || python3 -m pip install -q ninja

cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER="clang++-$clang_version" >/dev/null
cmake --build "$build" -j2 | { grep -v "^\[" || true; }

if [ "${1:-}" = "--make-corpus" ]; then
    rm -rf "$root/fuzz/corpus"
    mkdir -p "$root/fuzz/corpus"
    "$build/make_corpus" "$root/fuzz/corpus"
    exit 0
fi

seconds=${1:-60}
mkdir -p "$build/corpus" "$build/artifacts"
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# New interesting inputs go to the first directory; the committed seeds are only read. The seed is fixed
# (TARVEL_FUZZ_SEED overrides it) so that a run of CI explores the same inputs for the same code; the
# fuzzer's progress lines go to a log, and only its summary (or, on a finding, the end of the log) is shown.
log="$build/fuzz.log"
if ! "$build/fuzz_units" -seed="${TARVEL_FUZZ_SEED:-1}" -max_total_time="$seconds" -timeout=60 \
    -rss_limit_mb=4096 -max_len=1024 -print_final_stats=1 -artifact_prefix="$build/artifacts/" \
    "$build/corpus" "$root/fuzz/corpus" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz: finding; the input is in $build/artifacts/" >&2
    exit 1
fi
grep -E "^(Done|stat::)" "$log"
