#!/usr/bin/env bash
# Line coverage that the fuzzing corpora reach in the code that reads device bytes: builds the
# harnesses as plain replay programs with clang's source-based coverage (build/fuzz-cov), runs
# every harness once over its seeds and what the fuzzing kept (build/fuzz/corpus and
# build/fuzz/work, from scripts/fuzz.sh), and prints llvm-cov's report per file.
# Usage: scripts/fuzz_coverage.sh [FILE...]     (default: the decoding files below)
#   llvm-cov show build/fuzz-cov/fuzz/fuzz_temperatures -instr-profile=build/fuzz-cov/fuzz.profdata
#   FILE   then shows the lines no input reached.
set -euo pipefail
cd "$(dirname "$0")/.."

files=("$@")
if [ ${#files[@]} -eq 0 ]; then
  files=(measure/Temperatures.cpp measure/PowerOutputs.cpp measure/Diagnostics.cpp
         measure/ModbusCommand.cpp measure/Cyclic.cpp protocol/ModbusTransaction.cpp
         protocol/ModbusReply.cpp protocol/ProgramExchange.cpp protocol/ProgramBlock.cpp
         config/ProgramMode.cpp config/Configuration.cpp config/MemoryRead.cpp
         config/ProgramCommand.cpp sensors/ChannelSearch.cpp sensors/Segregation.cpp
         sensors/SortBySerial.cpp sensors/SensorCommon.cpp firmware/FirmwareUpdate.cpp
         firmware/IntelHex.cpp link/UsbLink.cpp measure/BusScan.cpp tools/ModbusErrors.cpp)
fi
manifest=build/fuzz/corpus/MANIFEST
if [ ! -f "$manifest" ]; then
  echo "no corpus: run scripts/fuzz.sh first" >&2
  exit 2
fi

scripts/deps.sh fuzz
out=build/fuzz-cov
cmake -S . -B "$out" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
  "-DCMAKE_CXX_FLAGS=-fprofile-instr-generate -fcoverage-mapping" -DNUV_BUILD_TESTS=OFF \
  -DNUV_BUILD_BENCH=OFF -DNUV_BUILD_PACKAGING=OFF -DNUV_BUILD_FUZZERS=OFF -DNUV_FUZZ_REPLAY=ON \
  >/dev/null
cmake --build "$out" --target fuzzers

rm -f "$out"/*.profraw
binaries=()
while read -r name _; do
  inputs=()
  for folder in "build/fuzz/corpus/$name" "build/fuzz/work/$name"; do
    [ -d "$folder" ] && inputs+=("$folder")
  done
  printf '%-18s ' "$name"
  LLVM_PROFILE_FILE="$out/$name.profraw" "$out/fuzz/fuzz_$name" "${inputs[@]}"
  binaries+=("$out/fuzz/fuzz_$name")
done <"$manifest"
llvm-profdata merge -o "$out/fuzz.profdata" "$out"/*.profraw
objects=()
for binary in "${binaries[@]:1}"; do objects+=(-object "$binary"); done
llvm-cov report "${binaries[0]}" "${objects[@]}" -instr-profile="$out/fuzz.profdata" "${files[@]}"
