#!/bin/sh
# A private PulseAudio server with a null sink, for real audio capture on a
# machine without a sound card. What is played into the sink (paplay) can be
# captured from its monitor, which is the default source, through ALSA's
# "default" device (libasound2-plugins routes it to PulseAudio).
#
#   pulse_null_sink.sh start DIR   starts the server with everything in DIR and
#                                  prints the variables a client needs:
#                                  PULSE_SERVER=unix:DIR/pulse.sock
#                                  XDG_RUNTIME_DIR=DIR/xdg
#   pulse_null_sink.sh stop DIR    stops the server started in DIR (by its pid)
set -eu

command=${1:-}
dir=${2:-}
if [ -z "$command" ] || [ -z "$dir" ]; then
  echo "usage: $0 start|stop DIR" >&2
  exit 2
fi

case "$command" in
start)
  command -v pulseaudio >/dev/null || { echo "pulseaudio is not installed" >&2; exit 3; }
  command -v pactl >/dev/null || { echo "pactl (pulseaudio-utils) is not installed" >&2; exit 3; }
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  mkdir -p -m 700 "$dir/xdg" "$dir/home"
  export XDG_RUNTIME_DIR="$dir/xdg" HOME="$dir/home"
  unset DBUS_SESSION_BUS_ADDRESS || true
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no \
    --log-target="file:$dir/pulse.log" \
    -L "module-native-protocol-unix socket=$dir/pulse.sock auth-anonymous=1" \
    -L "module-null-sink sink_name=vsink" </dev/null >/dev/null 2>&1 &
  echo $! >"$dir/pulse.pid"
  export PULSE_SERVER="unix:$dir/pulse.sock"
  tries=0
  until pactl info >/dev/null 2>&1; do
    tries=$((tries + 1))
    if [ $tries -gt 100 ] || ! kill -0 "$(cat "$dir/pulse.pid")" 2>/dev/null; then
      echo "PulseAudio did not start; its log:" >&2
      cat "$dir/pulse.log" >&2 2>/dev/null || true
      kill "$(cat "$dir/pulse.pid")" 2>/dev/null || true
      exit 1
    fi
    sleep 0.1
  done
  echo "PULSE_SERVER=$PULSE_SERVER"
  echo "XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR"
  ;;
stop)
  [ -f "$dir/pulse.pid" ] || exit 0
  pid=$(cat "$dir/pulse.pid")
  if kill "$pid" 2>/dev/null; then
    tries=0
    while kill -0 "$pid" 2>/dev/null && [ $tries -lt 50 ]; do
      tries=$((tries + 1))
      sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$dir/pulse.pid"
  ;;
*)
  echo "usage: $0 start|stop DIR" >&2
  exit 2
  ;;
esac
