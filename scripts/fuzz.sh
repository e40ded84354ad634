#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer) in their own
# folder and runs each for DURATION seconds (default 60).
#   scripts/fuzz.sh [DURATION]
# Folder: $PYXET_FUZZ_BUILD, else build-fuzz/ in the source tree. The corpus grows in its corpus/
# folder, seeded from tests/fuzz/seeds/. Exit status: 0 no finding, 1 a finding (the input is in
# its artifacts/ folder), a failed build, or no usable clang here (nothing run; the install
# script brings clang and libclang-rt-dev).
set -euo pipefail

DURATION=${1:-60}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${PYXET_FUZZ_BUILD:-$ROOT/build-fuzz}
TARGETS=(fuzz_orvex_answer fuzz_hwg_answer fuzz_tryparseip fuzz_parseip fuzz_parsemac fuzz_textbetween fuzz_settings fuzz_safetext fuzz_configdoc)

if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ not found (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
mkdir -p "$BUILD"
probe="$BUILD/probe.cpp"
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' >"$probe"
if ! clang++ -fsanitize=fuzzer,address,undefined "$probe" -o "$BUILD/probe" 2>/dev/null; then
  echo "fuzz: clang++ cannot link libFuzzer here (libclang-rt-dev missing?)" >&2
  exit 1
fi

cmake -S "$ROOT/tests/fuzz" -B "$BUILD" -DCMAKE_CXX_COMPILER=clang++ >"$BUILD/configure.log" 2>&1 \
  || { cat "$BUILD/configure.log"; exit 1; }
cmake --build "$BUILD" -j "${PYXET_FUZZ_JOBS:-2}" >"$BUILD/build.log" 2>&1 \
  || { cat "$BUILD/build.log"; exit 1; }

max_len() {
  case $1 in
    fuzz_orvex_answer) echo 256 ;;   # answers are 114 bytes; longer ones are cut
    fuzz_hwg_answer) echo 128 ;;     # answers end at 110 bytes
    fuzz_settings) echo 4096 ;;      # a settings file with a few sections and tables
    fuzz_configdoc) echo 4096 ;;     # a configuration with sections, repeats and a DTD
    *) echo 64 ;;                    # address texts and short pages
  esac
}

status=0
for target in "${TARGETS[@]}"; do
  corpus="$BUILD/corpus/$target"
  artifacts="$BUILD/artifacts/$target"
  mkdir -p "$corpus" "$artifacts"
  seeds=()
  [ -d "$ROOT/tests/fuzz/seeds/$target" ] && seeds=("$ROOT/tests/fuzz/seeds/$target")
  log="$BUILD/$target.log"
  if "$BUILD/$target" -max_total_time="$DURATION" -max_len="$(max_len "$target")" -timeout=10 \
       -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" "${seeds[@]}" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz: $target: ${runs:-?} runs in ${DURATION} s, no finding"
  else
    echo "fuzz: $target: FINDING (see $log and $artifacts)"
    tail -n 40 "$log"
    status=1
  fi
done
exit $status
