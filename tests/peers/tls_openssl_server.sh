#!/bin/bash
# Runs COMMAND against a TLS 1.0 openssl s_server on 127.0.0.1:PORT, then
# stops the server by its pid. The server answers each line reversed (-rev).
#   tls_openssl_server.sh run DIR PORT CIPHERS [--request-cert|--require-cert] -- COMMAND...
# DIR holds the keys of tls_certs.sh (made when missing); CIPHERS is an
# OpenSSL cipher list (security level 0 is added). --request-cert asks the
# client for a certificate issued by DIR/ca.crt; --require-cert insists.
# Exit status: COMMAND's, or 3 when the server did not start.
set -eu
. "$(dirname "$0")/peer_lib.sh"
[ "${1:-}" = run ] || { echo "usage: $0 run DIR PORT CIPHERS [--request-cert|--require-cert] -- COMMAND..." >&2; exit 2; }
dir=$2 port=$3 ciphers=$4
shift 4
verify=""
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  case "$1" in
  --request-cert) verify="-verify 1 -CAfile $dir/ca.crt" ;;
  --require-cert) verify="-Verify 1 -CAfile $dir/ca.crt" ;;
  *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
[ "${1:-}" = "--" ] && shift
"$(dirname "$0")/tls_certs.sh" "$dir"
log=$(mktemp "$dir/openssl.XXXXXX")
# shellcheck disable=SC2086
openssl s_server -accept "127.0.0.1:$port" -tls1 -cipher "$ciphers:@SECLEVEL=0" \
  -cert "$dir/rsa.crt" -key "$dir/rsa.key" -dcert "$dir/dsa.crt" -dkey "$dir/dsa.key" \
  -dhparam "$dir/dh1024.pem" $verify -rev -quiet </dev/null >"$log" 2>&1 &
server=$!
await_start $server "openssl s_server" 100 "$log" accepting "$port"
run_while_serving $server "$log" "$@"
