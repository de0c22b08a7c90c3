#!/usr/bin/env bash
# Builds quorvel_eval against the library built in $1 (default build-model); prints the path of its launcher.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:-$root/build-model}")
ort=${ONNXRUNTIME_ROOT:-$root/.cache/onnxruntime-1.21.0}
out="$build/training-eval"
mkdir -p "$out"
g++ -std=c++17 -O2 -DORT_API_MANUAL_INIT -I "$root/recognizer" -I "$ort/include" \
  "$root/training/eval/quorvel_eval.cpp" -o "$out/quorvel_eval.bin" \
  -L "$build/recognizer" -L "$build/logging" -lQuorvel -lMorvik \
  "$ort/lib/x64/libonnxruntime.so.1"
# libQuorvel.so finds its runtime relative to the host's working directory; the tool names the folders.
cat >"$out/quorvel_eval" <<WRAP
#!/bin/sh
LD_LIBRARY_PATH="$build/recognizer:$build/logging:$ort/lib/x64\${LD_LIBRARY_PATH:+:\$LD_LIBRARY_PATH}" exec "$out/quorvel_eval.bin" "\$@"
WRAP
chmod +x "$out/quorvel_eval"
echo "$out/quorvel_eval"
