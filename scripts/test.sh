#!/usr/bin/env bash
# The whole test suite from a clean clone: installs what is needed, builds the
# native and the Windows flavours, and runs every native test (unit, golden, fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake --preset linux
cmake --build --preset linux
ctest --preset linux

# The Windows build proves that the portable code and the Win32 half compile
# with the cross compiler.
cmake --preset windows
cmake --build --preset windows
