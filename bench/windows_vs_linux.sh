#!/usr/bin/env bash
# The whole job (install lookup, scan, patch of every listed world) through
# the Windows half under Wine against the Linux half, on the same tree in the
# same prefix: the Windows side is the cross build's fidelity_helper.exe, the
# Linux side the same three calls built natively.
#
#   bench/windows_vs_linux.sh NATIVE_BUILD MINGW_BUILD [ROUNDS]
#
# NATIVE_BUILD needs the targets quietwalk_patch, quietwalk_scan and
# quietwalk_locate built, MINGW_BUILD the target fidelity_helper; Release
# builds measure what users get. Each case is laid out afresh before every
# run; the median of ROUNDS runs (3) is reported. Wine's own start, measured
# with a program that finds no worlds, is reported apart: the user pays it
# too, but no change of ours can win it back. The worlds live in memory
# (/dev/shm where there is one): on a disk the flush of every rewrite would
# drown the programs' own cost. The link tree is scanned only, its few
# worlds needing no change.
set -euo pipefail

[ $# -ge 2 ] || { sed -n '2,/^set/p' "$0" | grep '^#' | sed 's/^# \{0,1\}//' >&2; exit 2; }
top=$(cd "$(dirname "$0")/.." && pwd)
native_build=$(cd "$1" && pwd)
mingw_build=$(cd "$2" && pwd)
rounds=${3:-3}
helper=$mingw_build/tests/fidelity/fidelity_helper.exe
[ -f "$helper" ] || { echo "no $helper: build the target fidelity_helper" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/quietwalk-wvl-XXXXXX")
prefix=$work/prefix
memory=$work
[ -d /dev/shm ] && [ -w /dev/shm ] && memory=$(mktemp -d /dev/shm/quietwalk-wvl-XXXXXX)
cleanup() {
  WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null || true
  rm -rf "$work" "$memory"
}
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
trap cleanup EXIT

# The Linux side: the same calls as the helper, without a window.
cat >"$work/job.cpp" <<'CPP'
#include <cstdio>
#include <cstdlib>
#include "locate/browser_prefix.h"
#include "tests/fidelity/fidelity_report.h"
int main(int argc, char** argv) {
  ChooseWinePrefix();  // WINEPREFIX, as the program settles it at start-up
  const std::string report = fidelity::LookUpScanAndPatch(argc > 1 ? std::atoi(argv[1]) : 0);
  std::fwrite(report.data(), 1, report.size(), stdout);
  return 0;
}
CPP
libs=()
for lib in patch scan locate product platform; do
  libs+=("$native_build/$lib/libquietwalk_$lib.a")
done
c++ -std=c++20 -O2 -I"$top" "$work/job.cpp" "$top/tests/fidelity/fidelity_report.cpp" \
  "${libs[@]}" -lz -o "$work/job"

"$top/cmake/wine-emulator" --make-prefix "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
[ "$(locale charmap 2>/dev/null)" = UTF-8 ] || export LC_ALL=C.UTF-8
browser="$prefix/drive_c/Sony/Community Place Browser"
mkdir -p "$browser/bin"
echo MZ >"$browser/bin/cpbrowse.exe"
# The world folder is a link to memory; both halves resolve the root once.
world=$memory/world
ln -s "$world" "$browser/world"

readonly kBumps='#VRML V2.0 utf8
PROTO Sony_WorldInfo [
  field SFBool collisionSound TRUE
] {}
Sony_WorldInfo { collisionSound TRUE }
Transform { children [ Shape { geometry Box { size 2 2 2 } } ] }'
readonly kQuiet=${kBumps//TRUE/FALSE}

# worlds N OTHERS TEXT: N worlds, 100 to a folder, holding TEXT, and OTHERS
# other files (pictures, as worlds come with) beside them.
lay_out_worlds() {
  local worlds=$1 others=$2 text=$3 i
  mkdir -p "$world"
  for ((i = 0; i < worlds; ++i)); do
    mkdir -p "$world/f$((i / 100))"
    printf '%s\n' "$text" >"$world/f$((i / 100))/w$i.wrl"
  done
  for ((i = 0; i < others; ++i)); do
    mkdir -p "$world/f$((i / 100))"
    : >"$world/f$((i / 100))/t$i.gif"
  done
}

# links DEPTH: a chain of folders, each holding a world and two links to
# the next one: 2^DEPTH paths, DEPTH + 1 folders.
lay_out_links() {
  local depth=$1 d folder=$world/l0
  mkdir -p "$folder"
  for ((d = 0; d < depth; ++d)); do
    printf '%s\n' "$kQuiet" >"$folder/w.wrl"
    mkdir "$folder/next"
    ln -s next "$folder/a"
    ln -s next "$folder/b"
    folder=$folder/next
  done
}

seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

run_case() {
  local name=$1 linux_times=() windows_times=() n w r
  shift
  for ((r = 0; r < rounds; ++r)); do
    rm -rf "$world" && "$@"
    linux_times+=("$(seconds "$work/job" 0)")
    rm -rf "$world" && "$@"
    windows_times+=("$(seconds "$wine" "$helper" 0)")
  done
  n=$(printf '%s\n' "${linux_times[@]}" | median)
  w=$(printf '%s\n' "${windows_times[@]}" | median)
  printf '%-28s linux %8.3f s   windows %8.3f s   %6.2fx   less start %6.2fx\n' \
    "$name" "$n" "$w" "$(echo "$w / $n" | bc -l)" "$(echo "($w - $start) / $n" | bc -l)"
}

# One server for every run, as a user's desktop keeps one while it works.
"$wineserver" -p
rm -rf "$world" && mkdir -p "$world"
start=$(for ((r = 0; r < rounds; ++r)); do seconds "$wine" "$helper" 0; done | median)
printf 'Wine start (no browser found): %.3f s\n' "$start"

run_case "10,000 worlds to change" lay_out_worlds 10000 0 "$kBumps"
run_case "10,000 unchanged + 20,000 gifs" lay_out_worlds 10000 20000 "$kQuiet"
run_case "link tree, depth ${QUIETWALK_LINK_DEPTH:-10}" lay_out_links "${QUIETWALK_LINK_DEPTH:-10}"
