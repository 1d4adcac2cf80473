#!/usr/bin/env bash
# The whole test suite from a clean clone: installs what is needed, builds the
# native and the Windows flavours, and runs every test: unit, golden, fuzz, and
# the end-to-end tests of Kestrava.exe under Wine (label wine).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

# The Windows build comes first: the wine tests run build/windows/Kestrava.exe
# and its test helper.
cmake --preset windows
cmake --build --preset windows

cmake --preset linux
cmake --build --preset linux
ctest --preset linux
