#!/usr/bin/env bash
# The crash-point table's sample for the Windows program under Wine: the
# unattended Windows updater (full_update_runner.exe) updates a first
# installation of v1.1.0.0 with all standards in a prefix that wineboot made,
# from the small site served on loopback. It is stopped dead at a spread of
# its file changes (the host layer's crash points, SORANA_CRASH_AT), run again,
# and each result is compared, file by file, with an uninterrupted update's:
# the install root and the download folders.
#   tests/update/crash_sample_wine.sh WINDOWS_BIN LINUX_BIN [POINTS]
# WINDOWS_BIN holds full_update_runner.exe and UNLHA32.DLL; LINUX_BIN sorana-site.
set -euo pipefail
# shellcheck source=tests/update/serve_site.sh
. "$(dirname "$0")/serve_site.sh"
windows_bin=$(cd "$1" && pwd)
site_tool="$2/sorana-site"
points=${3:-12}
runner="$windows_bin/full_update_runner.exe"
for file in "$runner" "$windows_bin/UNLHA32.DLL" "$site_tool"; do
  [ -e "$file" ] || { echo "crash sample: $file is missing" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/sorana-wine-crash-XXXXXX")
export WINEDEBUG=-all LANG=ja_JP.UTF-8 LC_ALL= WINEDLLOVERRIDES="mscoree,mshtml="
server_pid=""
end_wine() { WINEPREFIX="$1" timeout --kill-after=5 30 wineserver -k >/dev/null 2>&1 || true; }
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  for prefix in "$work"/p-*; do [ -d "$prefix" ] && end_wine "$prefix"; done
  rm -rf "$work"
}
trap cleanup EXIT

"$site_tool" build "$work/site" --scale small >/dev/null
serve_site "$work/site" "$work/serve.log"

base="$work/p-base"
"$site_tool" prefix "$base" --installed 1.1.0.0 --standards all --wine yes >/dev/null 2>"$work/prefix.log" ||
  { cat "$work/prefix.log" >&2; exit 1; }
end_wine "$base"

# run NAME [CRASH_AT]: the runner once on the prefix p-NAME (a copy of the base
# on its first run); prints the runner's exit code.
run() {
  local prefix="$work/p-$1" counter="$work/$1.count"
  [ -d "$prefix" ] || cp -a "$base" "$prefix"
  head -c 8 /dev/zero >"$counter"
  local status=0
  WINEPREFIX="$prefix" SORANA_UPDATE_SERVER="$url" SORANA_CRASH_POINTS="Z:${counter//\//\\}" \
    SORANA_CRASH_AT="${2:-}" timeout --kill-after=10 300 wine "$runner" >>"$work/$1.log" 2>&1 || status=$?
  end_wine "$prefix"
  echo "$status"
}

# The tree a run leaves: the install root and the download folders, as paths
# with their contents' digests.
tree() {
  local prefix="$work/p-$1" downloads
  cd "$prefix/drive_c"
  downloads=$(find users -maxdepth 6 -type d \( -name SorOldUp -o -name SorNewUp \) | sort)
  # shellcheck disable=SC2086 # folder names without blanks
  find VELMORA $downloads \( -type f -o -type l \) -print0 | sort -z | xargs -0 -r sha256sum
  # shellcheck disable=SC2086
  find VELMORA $downloads -type d | sort
  cd - >/dev/null
}

[ "$(run reference)" = 0 ] || { echo "crash sample: the uninterrupted update failed" >&2; cat "$work/reference.log" >&2; exit 1; }
total=$(od -An -t u8 "$work/reference.count" | tr -d ' ')
tree reference >"$work/reference.tree"

failed=0
covered=0
for i in $(seq 0 $((points - 1))); do
  # First and last point, the rest evenly between.
  k=$((1 + i * (total - 1) / (points - 1)))
  stopped=$(run "k$k" "$k")
  finished=$(run "k$k")
  covered=$((covered + 1))
  if [ "$stopped" != 86 ] || [ "$finished" != 0 ]; then
    echo "point $k of $total: stopped with $stopped, the next run ended with $finished" >&2
    tail -n 5 "$work/k$k.log" >&2
    failed=1
  elif ! tree "k$k" | diff "$work/reference.tree" - >"$work/k$k.diff"; then
    echo "point $k of $total: the tree differs from an uninterrupted update's:" >&2
    head -n 8 "$work/k$k.diff" >&2
    failed=1
  fi
  rm -rf "$work/p-k$k"
done
echo "crash points under Wine: covered $covered of $total"
exit "$failed"
