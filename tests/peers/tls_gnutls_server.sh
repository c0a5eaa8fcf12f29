#!/bin/bash
# Runs COMMAND against a TLS 1.0 gnutls-serv echo server on port PORT, then
# stops the server by its pid.
#   tls_gnutls_server.sh run DIR PORT ALGORITHMS -- COMMAND...
# ALGORITHMS completes the GnuTLS priority string after "NONE:+VERS-TLS1.0:",
# e.g. "+ARCFOUR-128:+SHA1:+RSA". DIR holds the keys of tls_certs.sh (made
# when missing). gnutls-serv cannot be told to listen on 127.0.0.1 alone, so
# where the system allows it the server and COMMAND run in a private network
# namespace of their own with only the loopback interface.
# Exit status: COMMAND's, or 3 when the server did not start.
set -eu
. "$(dirname "$0")/peer_lib.sh"
[ "${1:-}" = run ] || [ "${1:-}" = inside ] || { echo "usage: $0 run DIR PORT ALGORITHMS -- COMMAND..." >&2; exit 2; }
if [ "$1" = run ] && [ -z "${DICTALO_NO_NETNS:-}" ] && unshare -n true 2>/dev/null && command -v ip >/dev/null; then
  "$(dirname "$0")/tls_certs.sh" "$2"
  exec unshare -n bash -c 'ip link set lo up && exec "$0" inside "$@"' "$0" "${@:2}"
fi
shift
dir=$1 port=$2 algorithms=$3
shift 3
[ "${1:-}" = "--" ] && shift
"$(dirname "$0")/tls_certs.sh" "$dir"
log=$(mktemp "$dir/gnutls.XXXXXX")
gnutls-serv --port "$port" --x509certfile "$dir/rsa.crt" --x509keyfile "$dir/rsa.key" \
  --dhparams "$dir/dh1024.pem" \
  --priority "NONE:+VERS-TLS1.0:$algorithms:+COMP-NULL:+SIGN-ALL:+CTYPE-X509:+GROUP-ALL" \
  --echo -q </dev/null >"$log" 2>&1 &
server=$!
await_start $server "gnutls-serv" 100 "$log" accepting "$port"
run_while_serving $server "$log" "$@"
