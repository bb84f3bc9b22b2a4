#!/usr/bin/env bash
# Sets up a fresh machine (packages, build) and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cd build
ctest --output-on-failure -j"$(nproc)" --timeout 300
