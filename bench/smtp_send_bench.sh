#!/bin/bash
# Sending a 10 MB note message through exim with STARTTLS at TLS 1.0 and
# AES128-SHA: our SMTP client (bench/smtp_send_bench) against
# `curl --ssl-reqd --tlsv1.0 --tls-max 1.0` on the same file in the same run.
# Prints each time, the ratio ours / curl, and our peak resident memory, which
# stays small because the message is streamed from its file, never held whole.
#
#   bench/smtp_send_bench.sh [BUILD_DIR] [ROUNDS]
#
# BUILD_DIR holds bench/smtp_send_bench (default build). Needs root (exim) and
# curl. Each tool sends ROUNDS times (default 3); the best time of each counts.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
rounds=${2:-3}
driver="$build/bench/smtp_send_bench"
[ -x "$driver" ] || { echo "no $driver; build the target smtp_send_bench first" >&2; exit 2; }
command -v curl >/dev/null || { echo "curl is not installed" >&2; exit 2; }
[ "$(id -u)" = 0 ] || { echo "exim needs root" >&2; exit 2; }

work=$(mktemp -d)
chmod 755 "$work"  # exim works as its own user in there
server=""
cleanup() {
  if [ -n "$server" ]; then
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

port_of() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
port=$(port_of)
user=bench-user password=bench-Pw1
"$here/../tests/peers/smtp_exim.sh" serve "$work/exim" --port "$port" --user "$user" --password "$password" \
  --size-limit 50M --tls-priority 'NONE:+VERS-TLS1.0:+AES-128-CBC:+SHA1:+RSA:+COMP-NULL:+SIGN-ALL:+CTYPE-X509' \
  >"$work/exim.out" 2>&1 &
server=$!
for _ in $(seq 200); do grep -q ready "$work/exim.out" 2>/dev/null && break; sleep 0.05; done
grep -q ready "$work/exim.out" || { echo "exim did not start" >&2; cat "$work/exim.out" >&2; exit 1; }

# A 10 MB note: headers, a text part and a base64 audio attachment in 76-column lines.
message="$work/note.eml"
{
  printf 'From: bench@example.org\r\nTo: %s@localhost\r\nSubject: Voice note\r\n' "$user"
  printf 'MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary="b1"\r\n\r\n'
  printf -- '--b1\r\nContent-Type: text/plain\r\n\r\nA voice note.\r\n.\r\n--b1\r\n'
  printf 'Content-Type: audio/ogg; name="note.ogg"\r\nContent-Transfer-Encoding: base64\r\n\r\n'
  head -c 7600000 /dev/urandom | base64 -w 76 | sed 's/$/\r/'
  printf -- '--b1--\r\n'
} >"$message"
size=$(stat -c %s "$message")

best() { sort -n | head -1; }
ours=() theirs=() rss=()
for round in $(seq "$rounds"); do
  out=$("$driver" 127.0.0.1 "$port" "$message" "$user" "$password" "$work/exim/rsa.crt" "$user@localhost")
  ours+=("$(sed -n 's/^seconds: //p' <<<"$out")")
  rss+=("$(sed -n 's/^peak_rss_kb: //p' <<<"$out")")
  suite=$(sed -n 's/^suite: //p' <<<"$out")
  start=$(date +%s.%N)
  curl -s --ssl-reqd --tlsv1.0 --tls-max 1.0 --ciphers 'AES128-SHA:@SECLEVEL=0' -k \
    --url "smtp://127.0.0.1:$port" --user "$user:$password" --mail-from bench@example.org \
    --mail-rcpt "$user@localhost" --upload-file "$message"
  end=$(date +%s.%N)
  theirs+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }')")
done

ours_best=$(printf '%s\n' "${ours[@]}" | best)
theirs_best=$(printf '%s\n' "${theirs[@]}" | best)
rss_max=$(printf '%s\n' "${rss[@]}" | sort -n | tail -1)
delivered=$(ls "$work/exim/mail/new" | wc -l)
printf 'message: %d bytes, suite %s, %d rounds each, %d messages delivered\n' "$size" "$suite" "$rounds" "$delivered"
printf 'ours:  %s s (best of: %s)\n' "$ours_best" "${ours[*]}"
printf 'curl:  %s s (best of: %s)\n' "$theirs_best" "${theirs[*]}"
printf 'ratio ours/curl: %s\n' "$(awk -v a="$ours_best" -v b="$theirs_best" 'BEGIN { printf "%.2f", a / b }')"
printf 'our peak memory (VmHWM): %s kB\n' "$rss_max"
