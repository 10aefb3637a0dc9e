#!/bin/sh
# A no-change re-run onto an exFAT stick: the program against
# rsync -a --modify-window=1. Needs root (a loop device), exfat-fuse and
# exfatprogs. The stick is an image in DIR (default bench/out), mounted
# through FUSE for the run and removed afterwards.
#   bench/exfat.sh [--dir DIR] [--reps N]
set -eu
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${SENTREL_BENCH_BUILD:-$repo/build-bench}
dir=$repo/bench/out
reps=3
while [ $# -gt 0 ]; do
    case $1 in
    --dir) dir=$2; shift 2 ;;
    --reps) reps=$2; shift 2 ;;
    *) echo "usage: bench/exfat.sh [--dir DIR] [--reps N]" >&2; exit 2 ;;
    esac
done
for tool in rsync mkfs.exfat mount.exfat-fuse losetup; do
    command -v $tool >/dev/null || { echo "$tool is needed (make test installs it)" >&2; exit 1; }
done
cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$build" -j2 sentrel_bench >/dev/null

mkdir -p "$dir/exfat-mnt"
image=$dir/exfat.img
truncate -s 1G "$image"
mkfs.exfat "$image" >/dev/null
device=$(losetup -f --show "$image")
cleanup() {
    fusermount -u "$dir/exfat-mnt" 2>/dev/null || umount -l "$dir/exfat-mnt" 2>/dev/null || true
    losetup -d "$device" 2>/dev/null || true
    rm -f "$image"
}
trap cleanup EXIT
mount.exfat-fuse "$device" "$dir/exfat-mnt" >/dev/null
"$build/bench/sentrel_bench" --dir "$dir" --reps "$reps" --exfat "$dir/exfat-mnt" exfat
