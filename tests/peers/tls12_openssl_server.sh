#!/bin/bash
# Runs COMMAND against an openssl s_server speaking one TLS version (-tls1_2
# or -tls1_1) on 127.0.0.1:PORT, then stops the server by its pid. The server
# answers each line reversed (-rev).
#   tls12_openssl_server.sh run DIR PORT VERSION KEY CIPHERS [--groups LIST] [--sigalgs LIST] [--require-cert] -- COMMAND...
# VERSION is tls1_2 or tls1_1; KEY is rsa, ec256 or ec384 (the server's
# certificate, made in DIR when missing, self-signed for CN=localhost; the
# trust file DIR/tls12-servers.crt holds all three). DHE suites use the
# 2048-bit ffdhe2048 group; ECDHE the groups of LIST (OpenSSL names) when
# given; --sigalgs limits the schemes it signs with (OpenSSL names). --require-cert insists on a client certificate issued by DIR/ca.crt.
# Exit status: COMMAND's, or 3 when the server did
# not start.
set -eu
. "$(dirname "$0")/peer_lib.sh"
[ "${1:-}" = run ] || { echo "usage: $0 run DIR PORT VERSION KEY CIPHERS -- COMMAND..." >&2; exit 2; }
dir=$2 port=$3 version=$4 key=$5 ciphers=$6
shift 6
groups="" sigalgs="" verify=""
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  case "$1" in
  --groups) groups="-groups $2"; shift ;;
  --sigalgs) sigalgs="-sigalgs $2"; shift ;;
  --require-cert) verify="-Verify 1 -CAfile $dir/ca.crt" ;;
  *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
[ "${1:-}" = "--" ] && shift
"$(dirname "$0")/tls_certs.sh" "$dir"
(
  cd "$dir"
  exec 9>.tls12.lock
  flock 9
  [ -f tls12.done ] && exit 0
  quiet() { "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }; }
  quiet openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout ec256.key -out ec256.crt \
    -days 3650 -subj /CN=localhost -sha256
  quiet openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-384 -nodes -keyout ec384.key -out ec384.crt \
    -days 3650 -subj /CN=localhost -sha384
  quiet openssl genpkey -genparam -algorithm DH -pkeyopt group:ffdhe2048 -out ffdhe2048.pem
  cat rsa.crt ec256.crt ec384.crt >tls12-servers.crt
  touch tls12.done
)
log=$(mktemp "$dir/openssl12.XXXXXX")
# shellcheck disable=SC2086
openssl s_server -accept "127.0.0.1:$port" "-$version" -cipher "$ciphers" \
  -cert "$dir/$key.crt" -key "$dir/$key.key" -dhparam "$dir/ffdhe2048.pem" $groups $sigalgs $verify -rev -quiet </dev/null >"$log" 2>&1 &
server=$!
await_start $server "openssl s_server" 100 "$log" accepting "$port"
run_while_serving $server "$log" "$@"
