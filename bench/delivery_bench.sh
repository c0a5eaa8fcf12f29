#!/bin/bash
# From the end of a recording to the message accepted by exim over STARTTLS,
# for a 1-minute and a 10-minute note: our pipeline (bench/delivery_bench:
# encode to Ogg Vorbis, compose, store in the Outbox, send) against
# `oggenc -q 0.1` + `curl --ssl-reqd smtp://` on the same samples in the same
# run. Prints both times, the ratio ours / theirs and our peak resident memory.
#
#   bench/delivery_bench.sh [BUILD_DIR]
#
# Needs root (exim), espeak-ng, sox, oggenc and curl; BUILD_DIR (default build)
# holds bench/delivery_bench (configure with -DDICTALO_BENCH=ON).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build}
driver="$build/bench/delivery_bench"
[ -x "$driver" ] || { echo "no $driver; build the target delivery_bench first" >&2; exit 2; }
for tool in espeak-ng sox oggenc curl; do
  command -v $tool >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done
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

port=${DELIVERY_BENCH_PORT:-28587}
"$here/../tests/peers/smtp_exim.sh" serve "$work/exim" --port "$port" --size-limit 50M >"$work/exim.out" 2>&1 &
server=$!
for _ in $(seq 200); do grep -q ready "$work/exim.out" 2>/dev/null && break; sleep 0.05; done
grep -q ready "$work/exim.out" || { echo "exim did not start" >&2; cat "$work/exim.out" >&2; exit 1; }

# The program's settings and volume live in the work folder.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/config" XDG_DATA_HOME="$work/home/data"
export XDG_RUNTIME_DIR="$work/home/run"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"

espeak-ng -w "$work/speech.wav" "This is a voice note. Please call me back about the meeting on Friday."
rcpt=bob@example.org
printf 'minutes  ours_s  oggenc+curl_s  ratio  our_peak_rss_kb\n'
for minutes in 1 10; do
  # Speech repeated to the length, as the recorder holds it: u8 mono 11025 Hz.
  sox -V1 "$work/speech.wav" -r 11025 -b 8 -c 1 -e unsigned-integer "$work/pcm.wav" repeat 1000 trim 0 $((minutes * 60))
  sox "$work/pcm.wav" -t raw "$work/pcm.raw"

  out=$("$driver" "$work/pcm.raw" 127.0.0.1 "$port" "$rcpt")
  ours=$(sed -n 's/^seconds: //p' <<<"$out")
  rss=$(sed -n 's/^peak_rss_kb: //p' <<<"$out")

  start=$(date +%s.%N)
  oggenc -Q -q 0.1 -o "$work/theirs.ogg" "$work/pcm.wav"
  {
    printf 'From: bench@example.org\r\nTo: %s\r\nSubject: Voice note\r\n' "$rcpt"
    printf 'MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary="b1"\r\n\r\n'
    printf -- '--b1\r\nContent-Type: text/plain\r\n\r\nA voice note.\r\n--b1\r\n'
    printf 'Content-Type: audio/ogg; name="note.ogg"\r\nContent-Transfer-Encoding: base64\r\n\r\n'
    base64 -w 76 "$work/theirs.ogg" | sed 's/$/\r/'
    printf -- '--b1--\r\n'
  } >"$work/theirs.eml"
  curl -s --ssl-reqd -k --url "smtp://127.0.0.1:$port" --mail-from bench@example.org --mail-rcpt "$rcpt" \
    --upload-file "$work/theirs.eml"
  end=$(date +%s.%N)
  theirs=$(echo "$end - $start" | bc -l)
  printf '%7s  %6.3f  %13.3f  %5.2f  %s\n' "$minutes" "$ours" "$theirs" "$(echo "$ours / $theirs" | bc -l)" "$rss"
done
