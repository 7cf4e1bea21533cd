# shellcheck shell=bash disable=SC2154
# Sourced by the benchmarks that serve the update site with nginx (Debian's),
# as a static host serves it: sendfile, keep-alive, validators (ETag,
# Last-Modified) and ranges as nginx gives them.
nginx=$(command -v nginx || echo /usr/sbin/nginx)

# nginx_on PORT: nginx in the foreground of a background job, everything it
# writes kept in $folder, so that it runs as any user and stops with the script.
nginx_on() {
  local port=$1 conf="$folder/nginx.conf"
  mkdir -p "$folder"
  {
    [ "$(id -u)" = 0 ] && echo "user root;"
    cat <<EOF
daemon off;
worker_processes 1;
pid $folder/nginx.pid;
error_log $folder/error.log warn;
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $folder/body;
  proxy_temp_path $folder/proxy;
  fastcgi_temp_path $folder/fastcgi;
  uwsgi_temp_path $folder/uwsgi;
  scgi_temp_path $folder/scgi;
  default_type application/octet-stream;
  sendfile on;
  tcp_nopush on;
  keepalive_requests 100000;
  keepalive_timeout 60s;
  server {
    listen 127.0.0.1:$port;
    root $site;
    # A phase's signed list changes with every signing under the same name:
    # caches (a CDN in front) must ask again each time.
    location ~ /files\.list(\.minisig)?\$ {
      add_header Cache-Control "no-cache";
    }
  }
}
EOF
  } >"$conf"
  "$nginx" -p "$folder" -e "$folder/error.log" -c "$conf" &
  nginx_pid=$!
  # Ready when it answers; gone when the port was taken.
  for _ in $(seq 50); do
    if ! kill -0 "$nginx_pid" 2>/dev/null; then
      wait "$nginx_pid" 2>/dev/null || true
      nginx_pid=
      return 1
    fi
    curl -s -o /dev/null "http://127.0.0.1:$port/" && return 0
    sleep 0.1
  done
  bench_fail "nginx did not answer on port $port (see $folder/error.log)"
}

# bench_start_nginx SITE FOLDER: serves SITE on a free loopback port; sets
# `port` and `nginx_pid` (the caller stops it), or fails the benchmark.
bench_start_nginx() {
  site=$1 folder=$2 port=
  local candidate
  for _ in $(seq 20); do
    candidate=$((20000 + RANDOM % 40000))
    if nginx_on "$candidate"; then
      port=$candidate
      return 0
    fi
  done
  bench_fail "nginx could not start: $(tail -1 "$folder/error.log" 2>/dev/null)"
}
