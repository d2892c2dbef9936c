#!/bin/bash
# Installs what is missing, builds, converts the shipped example in a fresh folder and
# shows the header of the result.
set -euo pipefail
cd "$(dirname "$0")/.."

bash tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target tessold_host >/dev/null

# The output is written next to the input and never overwritten, so convert a fresh copy.
work=$(mktemp -d /tmp/tessold-example.XXXXXX)
cp examples/example.um examples/translation.xml examples/packing.xml \
   examples/global_attributes.txt "$work"/
build/tessold "$work/example.um" "$work/translation.xml" "$work/packing.xml" \
              "$work/global_attributes.txt"
ncdump -h "$work/example.um.nc"
echo "Output: $work/example.um.nc"
