#!/bin/bash
# A real dante SOCKS 4 / SOCKS 5 proxy on 127.0.0.1 for the mail protocol
# tests, with its configuration and log in DIR.
#
#   socks_dante.sh serve DIR --port P [--user U --password W [--optional]]
#
# Serves until it gets SIGTERM or its parent ends, then stops danted by its
# pid. Prints "ready" once the port accepts connections; exit 3 when danted
# did not start, 4 when not run as root.
# Without --user the proxy asks for no authentication (SOCKS 4 and 5). With
# it, SOCKS 5 clients must log in with user name and password (--optional:
# or use none). dante checks system accounts, so the script creates the
# account U (no home, no shell) with password W and removes it again when it
# stops; it refuses to touch an account that already exists.
set -eu
usage() { echo "usage: $0 serve DIR --port P [--user U --password W [--optional]]" >&2; exit 2; }
[ "${1:-}" = serve ] || usage
[ $# -ge 2 ] || usage
dir=$2
shift 2
port="" user="" password="" optional=no
while [ $# -gt 0 ]; do
  case "$1" in
  --port) port=$2; shift ;;
  --user) user=$2; shift ;;
  --password) password=$2; shift ;;
  --optional) optional=yes ;;
  *) usage ;;
  esac
  shift
done
[ -n "$port" ] || usage
[ "$(id -u)" = 0 ] || { echo "socks_dante.sh: danted needs root" >&2; exit 4; }
command -v danted >/dev/null || { echo "socks_dante.sh: danted is not installed" >&2; exit 3; }
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

created_user=""
method=none
if [ -n "$user" ]; then
  if id "$user" >/dev/null 2>&1; then
    echo "socks_dante.sh: account $user exists already; pick a throw-away name" >&2
    exit 2
  fi
  useradd -M -N -r -s /usr/sbin/nologin "$user"
  created_user=$user
  printf '%s:%s\n' "$user" "$password" | chpasswd
  method=username
  [ "$optional" = yes ] && method="username none"
fi

cat >"$dir/danted.conf" <<EOF
logoutput: $dir/danted.log
internal: 127.0.0.1 port = $port
external: 127.0.0.1
clientmethod: none
socksmethod: $method
user.privileged: root
user.unprivileged: nobody
client pass {
  from: 127.0.0.0/8 to: 0.0.0.0/0
}
socks pass {
  from: 127.0.0.0/8 to: 0.0.0.0/0
}
EOF

danted -f "$dir/danted.conf" -p "$dir/danted.pid" -N 1 >"$dir/danted.out" 2>&1 &
server=$!
stop() {
  kill "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
  [ -n "$created_user" ] && userdel "$created_user" 2>/dev/null || true
  exit 0
}
trap stop TERM INT HUP

tries=0
until (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do
  tries=$((tries + 1))
  if [ $tries -gt 200 ] || ! kill -0 "$server" 2>/dev/null; then
    echo "danted did not start:" >&2
    cat "$dir/danted.out" "$dir/danted.log" >&2 2>/dev/null || true
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
    [ -n "$created_user" ] && userdel "$created_user" 2>/dev/null || true
    exit 3
  fi
  sleep 0.05
done
echo ready
parent=$PPID
while kill -0 "$server" 2>/dev/null && kill -0 "$parent" 2>/dev/null; do sleep 0.2; done
stop
