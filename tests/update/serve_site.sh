# Sourced by the Wine scripts beside it: serve_site SITE LOG serves SITE on a
# loopback port with $site_tool, waits at most 10 s for its address and sets
# server_pid and url; a server that does not start ends the script.
serve_site() {
  "$site_tool" serve "$1" --port 0 --quiet >"$2" 2>&1 &
  server_pid=$!
  url=""
  for _ in $(seq 1 100); do
    url=$(grep -oE 'http://127\.0\.0\.1:[0-9]+' "$2" | head -n1 || true)
    [ -n "$url" ] && return 0
    sleep 0.1
  done
  echo "$(basename "$0"): the site server did not start: $(cat "$2")" >&2
  exit 1
}
