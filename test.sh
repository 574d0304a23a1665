#!/usr/bin/env bash
# Installs what is missing, the test packages too (deps/test/*.txt), builds with warnings
# as errors and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/install-deps.sh --test
jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQF_WERROR=ON -DQF_TESTS=ON -DQF_BENCH=ON >/dev/null
cmake --build build -j"$jobs"
# The readers and the expression engine again under AddressSanitizer and UBSan, for the fuzz tests.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQF_SANITIZE=ON -DQF_GUI=OFF -DQF_BENCH=OFF -DQF_TESTS=ON >/dev/null
cmake --build build-asan -j"$jobs" --target sanitize_tests
export QT_QPA_PLATFORM=offscreen
[ "$(id -u)" -ne 0 ] || export QTWEBENGINE_DISABLE_SANDBOX=1
status=0
(cd build && ctest --output-on-failure -j"$jobs" --timeout 600) || status=1
(cd build-asan && ctest -L sanitize --output-on-failure -j"$jobs" --timeout 600) || status=1
exit $status
