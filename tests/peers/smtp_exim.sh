#!/bin/bash
# A real exim4 SMTP server on 127.0.0.1 for the mail protocol tests, with its
# configuration, spool, log, key and mail in DIR.
#
#   smtp_exim.sh serve DIR --port P [--tls-port Q] [--user U --password W]
#                [--size-limit SIZE] [--verify-recipients] [--tls-priority PRIO]
#                [--mailroot ROOT]
#
# Serves until it gets SIGTERM or its parent ends, then stops exim by its pid.
# Prints "ready" once both ports accept connections; exit 3 when exim did not
# start, 4 when not run as root (exim needs root to start).
#   --port           plain SMTP with STARTTLS, AUTH PLAIN, LOGIN and CRAM-MD5
#   --tls-port       implicit TLS
#   --user/--password the one account (default alice / secret)
#   --size-limit     exim's message_size_limit (default 10M), announced by SIZE
#   --verify-recipients  refuse at RCPT every local part but the account's
#   --tls-priority   GnuTLS priority string; default allows TLS 1.0 with AES,
#                    RC4 and 3DES
#   --mailroot       deliver the account's mail to ROOT/<user>/Maildir (a Dovecot peer
#                    started with --mail-owner Debian-exim can serve it), else
#                    everything to DIR/mail
#   --certificate CHAIN --key KEY  the server's certificate chain (its own first)
#                    and key, copied into DIR; else DIR/rsa.crt, a self-signed
#                    certificate for CN=localhost made when missing
set -eu
. "$(dirname "$0")/peer_lib.sh"
usage() { echo "usage: $0 serve DIR --port P [options]" >&2; exit 2; }
[ "${1:-}" = serve ] || usage
[ $# -ge 2 ] || usage
dir=$2
shift 2
port="" tls_port="" user=alice password=secret size_limit=10M verify=no mailroot="" certificate="" key=""
priority='NORMAL:+VERS-TLS1.0:+ARCFOUR-128:+3DES-CBC:+SHA1:+MD5:+RSA:+DHE-RSA:+ANON-DH:%VERIFY_ALLOW_SIGN_WITH_SHA1'
while [ $# -gt 0 ]; do
  case "$1" in
  --port) port=$2; shift ;;
  --tls-port) tls_port=$2; shift ;;
  --user) user=$2; shift ;;
  --password) password=$2; shift ;;
  --size-limit) size_limit=$2; shift ;;
  --verify-recipients) verify=yes ;;
  --tls-priority) priority=$2; shift ;;
  --mailroot) mailroot=$2; shift ;;
  --certificate) certificate=$2; shift ;;
  --key) key=$2; shift ;;
  *) usage ;;
  esac
  shift
done
[ -n "$port" ] || usage
[ -z "$certificate" ] || [ -n "$key" ] || usage
[ "$(id -u)" = 0 ] || { echo "smtp_exim.sh: exim needs root" >&2; exit 4; }
command -v exim4 >/dev/null || { echo "smtp_exim.sh: exim4 is not installed" >&2; exit 3; }

mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
mkdir -p "$dir/spool" "$dir/log" "$dir/mail"
if [ -z "$certificate" ] && [ ! -f "$dir/rsa.crt" ]; then
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$dir/rsa.key" -out "$dir/rsa.crt" -days 3650 \
    -subj /CN=localhost -addext subjectAltName=DNS:localhost,IP:127.0.0.1 >/dev/null 2>&1
fi
chown -R Debian-exim:Debian-exim "$dir/spool" "$dir/log" "$dir/mail"
if [ -n "$certificate" ]; then
  cp "$certificate" "$dir/server.crt"
  cp "$key" "$dir/server.key"
else
  cp "$dir/rsa.crt" "$dir/server.crt"
  cp "$dir/rsa.key" "$dir/server.key"
fi
# exim reads its key as its own user.
chgrp Debian-exim "$dir/server.key" && chmod 640 "$dir/server.key"
chmod 644 "$dir/server.crt"

ports=$port
[ -n "$tls_port" ] && ports="$port : $tls_port"
# With a configuration of its own (-C) exim delivers as its own user only.
if [ -n "$mailroot" ]; then
  maildir="$mailroot/\${local_part_data}/Maildir"
  mkdir -p "$mailroot"
  chown Debian-exim:Debian-exim "$mailroot"
else
  maildir="$dir/mail"
fi
rcpt_verify=""
router_parts=""
[ "$verify" = yes ] && rcpt_verify="  require verify = recipient"
# The account's local part is what names its folder (an untainted value).
if [ "$verify" = yes ] || [ -n "$mailroot" ]; then
  router_parts="  local_parts = $user"
fi

cat >"$dir/exim.conf" <<EOF
primary_hostname = localhost
spool_directory = $dir/spool
log_file_path = $dir/log/%slog
pid_file_path = $dir/exim.pid
local_interfaces = 127.0.0.1
daemon_smtp_ports = $ports
${tls_port:+tls_on_connect_ports = $tls_port}
tls_advertise_hosts = *
tls_certificate = $dir/server.crt
tls_privatekey = $dir/server.key
tls_require_ciphers = $priority
message_size_limit = $size_limit
auth_advertise_hosts = *
acl_smtp_rcpt = acl_rcpt
host_lookup =
rfc1413_hosts =
never_users = root
begin acl
acl_rcpt:
$rcpt_verify
  accept
begin routers
local:
  driver = accept
$router_parts
  transport = to_maildir
begin transports
to_maildir:
  driver = appendfile
  directory = $maildir
  create_directory
  maildir_format
  user = Debian-exim
  group = Debian-exim
begin authenticators
plain:
  driver = plaintext
  public_name = PLAIN
  server_prompts = :
  server_condition = \${if and {{eq{\$auth2}{$user}}{eq{\$auth3}{$password}}}}
  server_set_id = \$auth2
login:
  driver = plaintext
  public_name = LOGIN
  server_prompts = Username:: : Password::
  server_condition = \${if and {{eq{\$auth1}{$user}}{eq{\$auth2}{$password}}}}
  server_set_id = \$auth1
cram:
  driver = cram_md5
  public_name = CRAM-MD5
  server_secret = \${if eq{\$auth1}{$user}{$password}fail}
  server_set_id = \$auth1
EOF
chmod 644 "$dir/exim.conf"

exim4 -C "$dir/exim.conf" -bdf >"$dir/exim.out" 2>&1 &
server=$!
# Connection and delivery processes of the daemon outlive it for a moment and
# still write to DIR; wait (up to 10 s) until none runs with this configuration.
wait_for_children() {
  local tries=0 busy p
  while [ $tries -lt 100 ]; do
    busy=no
    for p in /proc/[0-9]*; do
      if grep -qsF -- "$dir/exim.conf" "$p/cmdline"; then busy=yes; break; fi
    done
    [ $busy = no ] && return 0
    tries=$((tries + 1))
    sleep 0.1
  done
}
stop() {
  kill "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
  wait_for_children
  exit 0
}
trap stop TERM INT HUP

await_start "$server" "exim" 200 "$dir/exim.out $dir/log/*" accepting "$port" "$tls_port"
serve_while_parent_lives "$server"
stop
