#!/usr/bin/env bash
# Attacks on a signed update site under Wine, a smaller set of the fault
# matrix's: the unattended Windows updater (full_update_runner.exe), holding
# the site's key in SORANA_UPDATE_PUBLIC_KEY, updates an installation of
# v2.4.0.0 (the new-version phase only) from the small site that sorana-site
# built, signed and serves on loopback. After an honest update the installed
# main program is put back to v2.4.0.0; then each attack must end the run with
# one refusal box and leave it so (nothing installed), and the next honest run
# must complete and install v2.4.1.0.
#   tests/update/signed_site_wine.sh WINDOWS_BIN LINUX_BIN
# WINDOWS_BIN holds full_update_runner.exe and UNLHA32.DLL; LINUX_BIN sorana-site.
set -euo pipefail
# shellcheck source=tests/update/serve_site.sh
. "$(dirname "$0")/serve_site.sh"
windows_bin=$(cd "$1" && pwd)
site_tool="$2/sorana-site"
runner="$windows_bin/full_update_runner.exe"
for file in "$runner" "$windows_bin/UNLHA32.DLL" "$site_tool"; do
  [ -e "$file" ] || { echo "signed site: $file is missing" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/sorana-wine-signed-XXXXXX")
export WINEDEBUG=-all LANG=ja_JP.UTF-8 LC_ALL= WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX="$work/prefix"
server_pid=""
end_wine() { timeout --kill-after=5 30 wineserver -k >/dev/null 2>&1 || true; }
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  [ -d "$WINEPREFIX" ] && end_wine
  rm -rf "$work"
}
trap cleanup EXIT

site="$work/site"
phase="$site/sorana/20240410"
"$site_tool" build "$site" --scale small >/dev/null
"$site_tool" keygen "$work/site.key" "$work/site.pub" >/dev/null
"$site_tool" keygen "$work/other.key" "$work/other.pub" >/dev/null
sign() { "$site_tool" sign "$site" --key "$work/site.key" "$@" >/dev/null; }
# A list of an earlier publication, kept for the replay.
sign --sequence 5
mkdir "$work/earlier" && cp "$phase"/files.list "$phase"/files.list.minisig "$work/earlier/"
sign
export SORANA_UPDATE_PUBLIC_KEY
SORANA_UPDATE_PUBLIC_KEY=$(tail -n 1 "$work/site.pub")

serve_site "$site" "$work/serve.log"
export SORANA_UPDATE_SERVER="$url"

"$site_tool" prefix "$WINEPREFIX" --installed 2.4.0.0 --standards 0,7 --wine yes >/dev/null 2>"$work/prefix.log" ||
  { cat "$work/prefix.log" >&2; exit 1; }
end_wine

# The runner once; prints its exit code, its boxes go to last.log.
run() {
  local status=0
  timeout --kill-after=10 300 wine "$runner" >"$work/last.log" 2>&1 || status=$?
  end_wine
  echo "$status"
}
main_program() { find "$WINEPREFIX/drive_c/VELMORA/SORANA/NEW_BIN" -maxdepth 1 -iname fotodesk.exe | head -n1; }
installed_version() { "$site_tool" version "$(main_program)"; }

[ "$(run)" = 0 ] || { echo "signed site: the honest signed update failed" >&2; cat "$work/last.log" >&2; exit 1; }
[ "$(installed_version)" = v2.4.1.0 ] || { echo "signed site: v2.4.1.0 was not installed" >&2; exit 1; }
old_program="$work/fotodesk-2.4.0.0.exe"
cp "$WINEPREFIX/drive_c/VELMORA/SORANA/OLD_BIN/"[Ff][Oo][Tt][Oo][Dd][Ee][Ss][Kk].[Ee][Xx][Ee] "$old_program"

program=$("$site_tool" list --phase new --standards 0,7 | sed -n 2p)
program=${program##*/}
failed=0
# attack NAME TEXT SETUP: SETUP changes the site; the run must fail with one
# refusal box saying TEXT and install nothing; the site signed honestly again,
# the next run must complete.
attack() {
  local name=$1 text=$2 setup=$3
  cp "$old_program" "$(main_program)"
  cp -a "$site" "$work/honest-site"
  eval "$setup"
  local status boxes
  status=$(run)
  boxes=$(grep -c '^  \[error\]' "$work/last.log" || true)
  if [ "$status" = 0 ] || [ "$boxes" != 1 ] || ! grep -q "署名を確認できない" "$work/last.log" ||
     ! grep -qF "$text" "$work/last.log" ||
     [ "$(installed_version)" != v2.4.0.0 ]; then
    echo "FAILED: $name: exit $status, $boxes error boxes, installed $(installed_version)" >&2
    cat "$work/last.log" >&2
    failed=1
  fi
  rm -rf "$site" && mv "$work/honest-site" "$site" && sign
  status=$(run)
  if [ "$status" != 0 ] || [ "$(installed_version)" != v2.4.1.0 ]; then
    echo "FAILED: $name: the next honest run ended with $status" >&2
    cat "$work/last.log" >&2
    failed=1
  else
    echo "signed site under Wine: $name refused, the next run installed"
  fi
}

# change_byte FILE: its 100th byte made another.
change_byte() {
  local byte
  byte=$(od -An -tu1 -j 100 -N 1 "$1" | tr -d ' ')
  printf "\\$(printf %o $(((byte + 1) % 256)))" | dd of="$1" bs=1 seek=100 conv=notrunc status=none
}
attack "one byte of a program changed" "$program の内容" 'change_byte "$phase/$program"'
attack "a program longer than listed" "$program が一覧の大きさ" 'printf MZ >>"$phase/$program"'
attack "an older signed list replayed" "前回受け入れた番号" 'cp "$work/earlier/"files.list* "$phase/"'
attack "an expired list" "有効期限" 'sign --valid-days 0'
attack "the list signed with another key" "別の鍵" \
  '"$site_tool" sign "$site" --key "$work/other.key" >/dev/null'
attack "the list missing" "files.list がありません" 'rm "$phase/files.list"'
[ "$failed" = 0 ] && echo "signed site under Wine: every attack refused"
exit "$failed"
