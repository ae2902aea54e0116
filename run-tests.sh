#!/usr/bin/env bash
# The one test command: installs what is missing, builds, runs every test under a private
# Xvfb, builds and checks the Debian package, then the unit tests once more with
# AddressSanitizer and UndefinedBehaviorSanitizer.
# --fuzz also builds the libFuzzer targets with clang and runs each for a bounded time.
set -euo pipefail
cd "$(dirname "$0")"
. scripts/common.sh

fuzz=0
fuzz_seconds=${QX5_FUZZ_SECONDS:-30}
for arg in "$@"; do
  case "$arg" in
    --fuzz) fuzz=1 ;;
    *) echo "usage: $0 [--fuzz]"; exit 2 ;;
  esac
done

extra=""
[ $fuzz -eq 1 ] && extra="clang libclang-rt-14-dev"
ensure_packages $extra
ensure_locales
trap stop_xvfb EXIT

configure_and_build build
start_xvfb
echo "== tests (DISPLAY=$DISPLAY)"
ctest --test-dir build --output-on-failure -j2

echo "== Debian package (cpack -G DEB, dpkg-deb)"
tests/install/check_deb.sh build "$PWD"

echo "== unit tests with AddressSanitizer and UndefinedBehaviorSanitizer"
configure_and_build build-asan -DQX5_SANITIZE=ON -DQX5_BENCH=OFF
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j2 -E '^E2e'

if [ $fuzz -eq 1 ]; then
  echo "== fuzz targets, ${fuzz_seconds}s each"
  CC=clang CXX=clang++ configure_and_build build-fuzz -DQX5_FUZZ=ON
  for target in build-fuzz/bin/fuzz_*; do
    name=$(basename "$target")
    corpus="build-fuzz/corpus/$name"
    mkdir -p "$corpus"
    seeds="tests/fuzz/seeds/${name#fuzz_}"
    [ -d "$seeds" ] || seeds=""
    echo "-- $name"
    "$target" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 "$corpus" $seeds 2>&1 | tail -n 3
  done
fi
