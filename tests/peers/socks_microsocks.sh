#!/bin/bash
# A real microsocks SOCKS 5 proxy on 127.0.0.1 for the mail protocol tests.
#
#   socks_microsocks.sh serve DIR --port P [--user U --password W]
#
# Serves until it gets SIGTERM or its parent ends, then stops microsocks by
# its pid. Prints "ready" once the port accepts connections; exit 3 when it
# did not start. With --user the proxy insists on that user name and password.
set -eu
. "$(dirname "$0")/peer_lib.sh"
usage() { echo "usage: $0 serve DIR --port P [--user U --password W]" >&2; exit 2; }
[ "${1:-}" = serve ] || usage
[ $# -ge 2 ] || usage
dir=$2
shift 2
port="" auth=()
while [ $# -gt 0 ]; do
  case "$1" in
  --port) port=$2; shift ;;
  --user) auth+=(-u "$2"); shift ;;
  --password) auth+=(-P "$2"); shift ;;
  *) usage ;;
  esac
  shift
done
[ -n "$port" ] || usage
command -v microsocks >/dev/null || { echo "socks_microsocks.sh: microsocks is not installed" >&2; exit 3; }
mkdir -p "$dir"

microsocks -i 127.0.0.1 -p "$port" "${auth[@]}" >"$dir/microsocks.out" 2>&1 &
server=$!
stop() {
  kill "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
  exit 0
}
trap stop TERM INT HUP

await_start "$server" "microsocks" 200 "$dir/microsocks.out" accepting "$port"
serve_while_parent_lives "$server"
stop
