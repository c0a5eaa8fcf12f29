#!/bin/bash
# OpenSSH dynamic forwarding as a SOCKS 4, 4A and 5 proxy on 127.0.0.1 for
# the mail protocol tests: a throw-away sshd with its own host key and a
# fresh client key (all in DIR), and `ssh -D` logged in to it.
#
#   socks_ssh.sh serve DIR --port P --sshd-port Q [--proxy-host "NAME ADDRESS"]
#
# Serves until it gets SIGTERM or its parent ends, then stops ssh and sshd by
# their pids. Prints "ready" once the SOCKS port accepts connections; exit 3
# when they did not start, 4 when not run as root, 5 when --proxy-host
# cannot be arranged.
# --proxy-host: sshd (which connects on behalf of the proxy) runs with a
# private /etc/hosts that also maps NAME to ADDRESS, so the proxy resolves a
# name the client cannot, which is what SOCKS 4A is for.
set -eu
usage() { echo "usage: $0 serve DIR --port P --sshd-port Q [--proxy-host 'NAME ADDRESS']" >&2; exit 2; }
[ "${1:-}" = serve ] || usage
[ $# -ge 2 ] || usage
dir=$2
shift 2
port="" sshd_port="" proxy_host=""
while [ $# -gt 0 ]; do
  case "$1" in
  --port) port=$2; shift ;;
  --sshd-port) sshd_port=$2; shift ;;
  --proxy-host) proxy_host=$2; shift ;;
  *) usage ;;
  esac
  shift
done
[ -n "$port" ] && [ -n "$sshd_port" ] || usage
[ "$(id -u)" = 0 ] || { echo "socks_ssh.sh: sshd needs root" >&2; exit 4; }
command -v ssh >/dev/null && [ -x /usr/sbin/sshd ] || { echo "socks_ssh.sh: openssh is not installed" >&2; exit 3; }
mkdir -p "$dir" /run/sshd
dir=$(cd "$dir" && pwd)
[ -f "$dir/host_key" ] || ssh-keygen -q -t ed25519 -N '' -f "$dir/host_key"
[ -f "$dir/client_key" ] || ssh-keygen -q -t ed25519 -N '' -f "$dir/client_key"
cp "$dir/client_key.pub" "$dir/authorized_keys"
cat >"$dir/sshd_config" <<EOF
Port $sshd_port
ListenAddress 127.0.0.1
HostKey $dir/host_key
AuthorizedKeysFile $dir/authorized_keys
PidFile $dir/sshd.pid
UsePAM no
StrictModes no
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
AllowTcpForwarding yes
EOF

if [ -n "$proxy_host" ]; then
  read -r name address <<<"$proxy_host"
  { cat /etc/hosts; echo "$address $name"; } >"$dir/hosts"
  unshare -m true 2>/dev/null || { echo "socks_ssh.sh: no private mount namespace here" >&2; exit 5; }
  unshare -m /bin/bash -c "mount --bind '$dir/hosts' /etc/hosts && exec /usr/sbin/sshd -D -e -f '$dir/sshd_config'" \
    >"$dir/sshd.out" 2>&1 &
else
  /usr/sbin/sshd -D -e -f "$dir/sshd_config" >"$dir/sshd.out" 2>&1 &
fi
sshd=$!
client=""
stop() {
  [ -n "$client" ] && { kill "$client" 2>/dev/null || true; wait "$client" 2>/dev/null || true; }
  kill "$sshd" 2>/dev/null || true
  wait "$sshd" 2>/dev/null || true
  exit 0
}
trap stop TERM INT HUP
fail() {
  echo "$1:" >&2
  cat "$dir/sshd.out" "$dir/ssh.out" >&2 2>/dev/null || true
  trap - TERM INT HUP
  [ -n "$client" ] && { kill "$client" 2>/dev/null || true; wait "$client" 2>/dev/null || true; }
  kill "$sshd" 2>/dev/null || true
  wait "$sshd" 2>/dev/null || true
  exit 3
}

accepting() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
tries=0
until accepting "$sshd_port"; do
  tries=$((tries + 1))
  { [ $tries -gt 200 ] || ! kill -0 "$sshd" 2>/dev/null; } && fail "sshd did not start"
  sleep 0.05
done
ssh -N -D "127.0.0.1:$port" -p "$sshd_port" -i "$dir/client_key" -o BatchMode=yes -o StrictHostKeyChecking=no \
  -o UserKnownHostsFile=/dev/null -o ExitOnForwardFailure=yes "$(id -un)@127.0.0.1" >"$dir/ssh.out" 2>&1 &
client=$!
tries=0
until accepting "$port"; do
  tries=$((tries + 1))
  { [ $tries -gt 200 ] || ! kill -0 "$client" 2>/dev/null; } && fail "ssh -D did not start"
  sleep 0.05
done
echo ready
parent=$PPID
while kill -0 "$sshd" 2>/dev/null && kill -0 "$client" 2>/dev/null && kill -0 "$parent" 2>/dev/null; do sleep 0.2; done
stop
