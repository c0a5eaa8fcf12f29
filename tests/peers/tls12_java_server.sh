#!/bin/bash
# Runs COMMAND against the JDK's TLS stack at TLS 1.2 (java/Tls12Server.java,
# an echo server with the ECDSA and the RSA certificate chains of
# tls12_mail_certs.sh) on 127.0.0.1:PORT, then stops the server by its pid.
#   tls12_java_server.sh run DIR PORT SUITES [--groups LIST] -- COMMAND...
# SUITES are comma-separated JDK names (TLS_ECDHE_ECDSA_WITH_AES_128_GCM_SHA256,
# ...); LIST the ECDHE groups the server accepts (JDK names: x25519,
# secp256r1, secp384r1), else the JDK's default list. DIR holds the
# certificates (made when missing) and the compiled server. What the server
# printed ("session TLSv1.2 SUITE EC|RSA" per handshake) follows COMMAND's
# output on stderr, each line after "server: ".
# Exit status: COMMAND's, or 3 when the server did not start.
set -eu
. "$(dirname "$0")/peer_lib.sh"
[ "${1:-}" = run ] || { echo "usage: $0 run DIR PORT SUITES [--groups LIST] -- COMMAND..." >&2; exit 2; }
dir=$2 port=$3 suites=$4
shift 4
properties=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  case "$1" in
  --groups) properties=("-Djdk.tls.namedGroups=$2"); shift ;;
  *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
[ "${1:-}" = "--" ] && shift
here=$(cd "$(dirname "$0")" && pwd)
command -v java >/dev/null || { echo "tls12_java_server.sh: java is not installed" >&2; exit 3; }
"$here/tls12_mail_certs.sh" "$dir"
(
  # Tests running at once compile it once.
  exec 9>"$dir/.java12.lock"
  flock 9
  if [ ! -f "$dir/classes12/Tls12Server.class" ] || [ "$here/java/Tls12Server.java" -nt "$dir/classes12/Tls12Server.class" ]; then
    mkdir -p "$dir/classes12"
    javac -d "$dir/classes12" "$here/java/Tls12Server.java"
  fi
)
log=$(mktemp "$dir/java12.XXXXXX")
java "${properties[@]}" -cp "$dir/classes12" Tls12Server "$port" changeit "$suites" "$dir/ec.p12" "$dir/rsa.p12" \
  </dev/null >"$log" 2>&1 &
server=$!
await_start $server "the Java TLS 1.2 server" 300 "$log" grep -q '^ready' "$log"
status=0
"$@" || status=$?
stop_process $server
sed 's/^/server: /' "$log" >&2
rm -f "$log"
exit $status
