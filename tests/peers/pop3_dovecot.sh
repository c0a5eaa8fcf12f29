#!/bin/bash
# A real Dovecot POP3 server on 127.0.0.1 for the mail protocol tests, with its
# configuration, state, log and key in DIR.
#
#   pop3_dovecot.sh serve DIR --port P [--tls-port Q] [--user U --password W]
#                   [--mailroot ROOT] [--mechanisms "plain login ..."]
#
# Serves until it gets SIGTERM or its parent ends, then stops Dovecot by its
# pid (which can take a few seconds). Prints "ready" once the ports accept
# connections; exit 3 when Dovecot did not start, 4 when not run as root.
#   --port       POP3 with STLS, USER/PASS, APOP and SASL
#   --tls-port   implicit TLS (POP3S)
#   --user/--password  the one account (default alice / secret)
#   --mailroot   the account's mail is ROOT/<user>/Maildir (default DIR/mail),
#                created when missing; messages placed in new/ are served
#   --mail-owner the user (and its group) the mail belongs to and is read as
#                (default nobody); Debian-exim for mail an exim peer delivers
#   --mechanisms the SASL mechanisms (default "plain login cram-md5 apop digest-md5")
#   --certificate CHAIN --key KEY  the server's certificate chain (its own first)
#                and key; else DIR/rsa.crt, a self-signed certificate for
#                CN=localhost made when missing
#   --min-protocol  Dovecot's ssl_min_protocol (default TLSv1)
#   --ciphers    Dovecot's ssl_cipher_list (default ALL:@SECLEVEL=0); with a list
#                of its own DHE uses the 2048-bit ffdhe2048 group (OpenSSL's default
#                security level refuses the 1024-bit parameters)
set -eu
. "$(dirname "$0")/peer_lib.sh"
usage() { echo "usage: $0 serve DIR --port P [options]" >&2; exit 2; }
[ "${1:-}" = serve ] || usage
[ $# -ge 2 ] || usage
dir=$2
shift 2
port="" tls_port="" user=alice password=secret mailroot="" owner=nobody
certificate="" key="" min_protocol=TLSv1 ciphers='ALL:@SECLEVEL=0' dh=dh.pem
mechanisms="plain login cram-md5 apop digest-md5"
while [ $# -gt 0 ]; do
  case "$1" in
  --port) port=$2; shift ;;
  --tls-port) tls_port=$2; shift ;;
  --user) user=$2; shift ;;
  --password) password=$2; shift ;;
  --mailroot) mailroot=$2; shift ;;
  --mechanisms) mechanisms=$2; shift ;;
  --mail-owner) owner=$2; shift ;;
  --certificate) certificate=$2; shift ;;
  --key) key=$2; shift ;;
  --min-protocol) min_protocol=$2; shift ;;
  --ciphers) ciphers=$2 dh=ffdhe2048.pem; shift ;;
  *) usage ;;
  esac
  shift
done
[ -n "$port" ] || usage
[ -z "$certificate" ] || [ -n "$key" ] || usage
[ "$(id -u)" = 0 ] || { echo "pop3_dovecot.sh: dovecot needs root" >&2; exit 4; }
command -v dovecot >/dev/null || { echo "pop3_dovecot.sh: dovecot is not installed" >&2; exit 3; }

mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
[ -n "$mailroot" ] || mailroot="$dir/mail"
mkdir -p "$dir/run" "$dir/state" "$mailroot/$user/Maildir/"{cur,new,tmp}
group=$(id -gn "$owner")
chown -R "$owner:$group" "$mailroot"
if [ -z "$certificate" ]; then
  certificate=$dir/rsa.crt key=$dir/rsa.key
fi
if [ ! -f "$certificate" ]; then
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/rsa.key" -out "$dir/rsa.crt" -days 3650 \
    -subj /CN=localhost -addext subjectAltName=DNS:localhost,IP:127.0.0.1 >/dev/null 2>&1
fi
[ -f "$dir/dh.pem" ] || openssl dhparam -dsaparam -out "$dir/dh.pem" 1024 >/dev/null 2>&1
[ -f "$dir/ffdhe2048.pem" ] || openssl genpkey -genparam -algorithm DH -pkeyopt group:ffdhe2048 -out "$dir/ffdhe2048.pem" 2>/dev/null
printf '%s:{PLAIN}%s::::::\n' "$user" "$password" >"$dir/users"

pop3s=""
if [ -n "$tls_port" ]; then
  pop3s="  inet_listener pop3s {
    address = 127.0.0.1
    port = $tls_port
    ssl = yes
  }"
fi
cat >"$dir/dovecot.conf" <<EOF
instance_name = dictalo-test-$port
base_dir = $dir/run
state_dir = $dir/state
log_path = $dir/dovecot.log
protocols = pop3
listen = 127.0.0.1
ssl = yes
ssl_cert = <$certificate
ssl_key = <$key
ssl_dh = <$dir/$dh
ssl_min_protocol = $min_protocol
ssl_cipher_list = $ciphers
disable_plaintext_auth = no
auth_mechanisms = $mechanisms
first_valid_uid = 1
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%n $dir/users
}
userdb {
  driver = static
  args = uid=$owner gid=$group home=$mailroot/%n
}
mail_location = maildir:~/Maildir
service pop3-login {
  inet_listener pop3 {
    address = 127.0.0.1
    port = $port
  }
$pop3s
}
EOF

dovecot -F -c "$dir/dovecot.conf" >"$dir/dovecot.out" 2>&1 &
server=$!
stop() {
  kill "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
  exit 0
}
trap stop TERM INT HUP

await_start "$server" "dovecot" 200 "$dir/dovecot.out $dir/dovecot.log" accepting "$port" "$tls_port"
serve_while_parent_lives "$server"
stop
