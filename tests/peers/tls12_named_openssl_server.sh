#!/bin/bash
# Runs COMMAND against an openssl s_server doing name-based hosting at TLS 1.2
# on 127.0.0.1:PORT, then stops the server by its pid: the RSA certificate of
# tls12_mail_certs.sh for a hello naming NAME, the ECDSA chain for any other
# (after a warning unrecognized_name alert, as such servers send). The server
# answers each line reversed. SERVER-OPTIONs go to s_server as they are.
#   tls12_named_openssl_server.sh run DIR PORT NAME [SERVER-OPTION...] -- COMMAND...
# DIR holds the certificates (made when missing).
# Exit status: COMMAND's, or 3 when the server did not start.
set -eu
. "$(dirname "$0")/peer_lib.sh"
[ "${1:-}" = run ] || { echo "usage: $0 run DIR PORT NAME -- COMMAND..." >&2; exit 2; }
dir=$2 port=$3 name=$4
shift 4
extra=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do extra+=("$1"); shift; done
[ "${1:-}" = "--" ] && shift
"$(dirname "$0")/tls12_mail_certs.sh" "$dir"
log=$(mktemp "$dir/named.XXXXXX")
openssl s_server -accept "127.0.0.1:$port" -tls1_2 -cert "$dir/ec-leaf.crt" -key "$dir/ec-leaf.key" \
  -cert_chain "$dir/ec-inter.crt" -servername "$name" -cert2 "$dir/rsa-leaf.crt" -key2 "$dir/rsa-leaf.key" \
  "${extra[@]}" -rev -quiet </dev/null >"$log" 2>&1 &
server=$!
await_start $server "openssl s_server" 100 "$log" accepting "$port"
run_while_serving $server "$log" "$@"
