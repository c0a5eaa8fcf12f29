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
tries=0
until (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; do
  tries=$((tries + 1))
  if [ $tries -gt 100 ] || ! kill -0 $server 2>/dev/null; then
    echo "gnutls-serv did not start:" >&2; cat "$log" >&2
    kill $server 2>/dev/null || true; wait $server 2>/dev/null || true
    exit 3
  fi
  sleep 0.05
done
status=0
"$@" || status=$?
kill $server 2>/dev/null || true
wait $server 2>/dev/null || true
rm -f "$log"
exit $status
