#!/bin/sh
# Builds the benchmark and times backups against cp -a and rsync -a on
# generated trees (warm cache): the whole program, with its window shown on
# the offscreen platform, beside the engine alone.
#   bench/run.sh [--dir DIR] [--reps N] [small] [large] [responsive] [tasks] [log] [scale] [versions] [all]
# The trees are generated once into DIR (default bench/out) and kept there;
# the copies are removed after each workload.
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${SENTREL_BENCH_BUILD:-$repo/build-bench}

command -v rsync >/dev/null || { echo "rsync is needed (apt-get install rsync)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is needed for the scale workload (apt-get install time)" >&2; }
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$build" -j2 sentrel_bench >/dev/null

case " $* " in
*" --dir "*) exec "$build/bench/sentrel_bench" "$@" ;;
*) exec "$build/bench/sentrel_bench" --dir "$repo/bench/out" "$@" ;;
esac
