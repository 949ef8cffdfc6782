#!/usr/bin/env bash
# Builds everything under a sanitizer and runs the whole suite on both
# engines, the SQL Server runs included:
#   scripts/sanitize.sh thread    ThreadSanitizer, in build-tsan/
#   scripts/sanitize.sh address   AddressSanitizer and UndefinedBehaviorSanitizer
#                                 (leaks included), in build-asan/
# Further arguments go to ctest, for instance -R db_layer. A sanitizer's
# report fails the test that made it; the suppressions in scripts/sanitizers/
# cover third-party code only, each with its reason.
set -euo pipefail
cd "$(dirname "$0")/.."
case "${1:-}" in
thread) build=build-tsan ;;
address) build=build-asan ;;
*)
    echo "usage: scripts/sanitize.sh thread|address [ctest arguments]" >&2
    exit 2
    ;;
esac
kind=$1
shift
scripts/setup.sh
# GCC's array-bounds warning misfires on code its address sanitizer has
# instrumented; that build uses clang, as the fuzz targets do.
compiler=()
[ "$kind" = address ] && compiler=(-DCMAKE_CXX_COMPILER=clang++)
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARDENIX_SANITIZE="$kind" "${compiler[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"

# The SQL Server runs, as scripts/test.sh makes them.
source scripts/tsql-servers.sh

suppressions=$PWD/scripts/sanitizers
# die_after_fork=0: the picture helper is started by fork and exec from a
# process with threads; the child only sets its limits and calls exec.
# ignore_noninstrumented_modules=1: the libraries not built with the
# sanitizer (Qt, SQLite, FreeTDS, the C++ runtime) are not checked; their own
# accesses, seen only in part, otherwise made reports against the program's
# memory that no order of the program's threads could explain (a stack slot
# that Qt SVG wrote, a descriptor SQLite read). The program's code stays checked.
export TSAN_OPTIONS="suppressions=$suppressions/tsan.supp halt_on_error=1 second_deadlock_stack=1 die_after_fork=0 ignore_noninstrumented_modules=1"
export ASAN_OPTIONS="halt_on_error=1 detect_leaks=1 detect_stack_use_after_return=1 strict_init_order=1"
export LSAN_OPTIONS="suppressions=$suppressions/lsan.supp print_suppressions=0"
export UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1"
export QT_QPA_PLATFORM=offscreen
export LC_ALL=C.UTF-8
start=$(date +%s)
status=0
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 3600 "$@" || status=$?
echo "The suite under the $kind sanitizer took $(($(date +%s) - start)) s."
exit "$status"
