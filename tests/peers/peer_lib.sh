# Sourced by the peer scripts: waiting for a server to come up, running a
# command while it serves, and serving until the test that started it ends.

# accepting PORT...: true when 127.0.0.1 accepts a connection on every PORT
# given; empty ones are skipped.
accepting() {
  local p
  for p in "$@"; do
    [ -z "$p" ] || (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || return 1
  done
}

# stop_process PID: ends the process and reaps it.
stop_process() {
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
}

# await_start PID NAME TRIES LOGS CHECK...: runs CHECK every 50 ms until it
# holds. When PID ends first or TRIES checks fail, prints "NAME did not
# start:" and the files of LOGS (a blank-separated list, globs allowed), stops
# PID and exits 3.
await_start() {
  local pid=$1 name=$2 limit=$3 logs=$4 tries=0
  shift 4
  until "$@"; do
    tries=$((tries + 1))
    if [ "$tries" -gt "$limit" ] || ! kill -0 "$pid" 2>/dev/null; then
      echo "$name did not start:" >&2
      # shellcheck disable=SC2086
      cat $logs >&2 2>/dev/null || true
      stop_process "$pid"
      exit 3
    fi
    sleep 0.05
  done
}

# run_while_serving PID LOG COMMAND...: runs COMMAND, then stops PID, removes
# LOG and exits with COMMAND's status.
run_while_serving() {
  local pid=$1 log=$2 status=0
  shift 2
  "$@" || status=$?
  stop_process "$pid"
  rm -f "$log"
  exit "$status"
}

# serve_while_parent_lives PID: says "ready", then returns when PID or the
# process that started the script ends.
serve_while_parent_lives() {
  local parent=$PPID
  echo ready
  while kill -0 "$1" 2>/dev/null && kill -0 "$parent" 2>/dev/null; do sleep 0.2; done
}
