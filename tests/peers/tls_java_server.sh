#!/bin/bash
# Runs COMMAND against the JDK's TLS stack (java/LegacyTlsServer.java, an echo
# server) on 127.0.0.1:PORT, then stops the server by its pid. The JDK is the
# peer here for SSL 3.0, single DES and the SSL 2.0-format hello.
#   tls_java_server.sh run DIR PORT PROTOCOLS SUITES [--require-cert] -- COMMAND...
# PROTOCOLS and SUITES are comma-separated JDK names (SSLv2Hello,SSLv3,TLSv1;
# SSL_RSA_WITH_RC4_128_MD5,...). --require-cert insists on a client
# certificate issued by DIR/ca.crt. DIR holds the keys of tls_certs.sh (made
# when missing) and the compiled server.
# Exit status: COMMAND's, or 3 when the server did not start.
set -eu
. "$(dirname "$0")/peer_lib.sh"
[ "${1:-}" = run ] || { echo "usage: $0 run DIR PORT PROTOCOLS SUITES [--require-cert] -- COMMAND..." >&2; exit 2; }
dir=$2 port=$3 protocols=$4 suites=$5
shift 5
trust=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  case "$1" in
  --require-cert) trust=("$dir/trust.p12") ;;
  *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
[ "${1:-}" = "--" ] && shift
here=$(cd "$(dirname "$0")" && pwd)
"$here/tls_certs.sh" "$dir"
if [ ! -f "$dir/classes/LegacyTlsServer.class" ] || [ "$here/java/LegacyTlsServer.java" -nt "$dir/classes/LegacyTlsServer.class" ]; then
  mkdir -p "$dir/classes"
  javac -d "$dir/classes" "$here/java/LegacyTlsServer.java"
fi
log=$(mktemp "$dir/java.XXXXXX")
java -Djava.security.properties="$dir/legacy.security" -cp "$dir/classes" LegacyTlsServer \
  "$port" "$dir/rsa.p12" changeit "$protocols" "$suites" "${trust[@]}" </dev/null >"$log" 2>&1 &
server=$!
await_start $server "the Java TLS server" 300 "$log" grep -q '^ready' "$log"
run_while_serving $server "$log" "$@"
