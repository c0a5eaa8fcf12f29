#!/usr/bin/env python3
"""A local update server for tests: serves the files of DIR by GET.

Each request's line and header lines are appended to DIR/../requests.log. A file
DIR/<path>.throttle holding a number makes the answer for <path> pause that many
milliseconds after every 2048 bytes, so a test can act while a download runs.

usage: update_server.py DIR FIRST_PORT LAST_PORT
Binds 127.0.0.1 on the first free port of the range, prints "ready PORT" and
serves until its parent ends.
"""
import http.server
import os
import sys
import threading
import time
import urllib.parse

root = os.path.realpath(sys.argv[1])
first_port, last_port = int(sys.argv[2]), int(sys.argv[3])
log_path = os.path.join(os.path.dirname(root), "requests.log")
lock = threading.Lock()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        with lock:
            with open(log_path, "a") as f:
                f.write(self.requestline + "\r\n" + str(self.headers))
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        full = os.path.realpath(os.path.join(root, path.lstrip("/")))
        if not full.startswith(root + os.sep) or not os.path.isfile(full):
            self.send_error(404)
            return
        with open(full, "rb") as f:
            data = f.read()
        delay = 0
        if os.path.isfile(full + ".throttle"):
            with open(full + ".throttle") as f:
                delay = int(f.read().strip() or "0")
        try:
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            for start in range(0, len(data), 2048):
                self.wfile.write(data[start:start + 2048])
                self.wfile.flush()
                if delay:
                    time.sleep(delay / 1000.0)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def log_message(self, *args):
        pass


def bind():
    for port in range(first_port, last_port + 1):
        try:
            return http.server.ThreadingHTTPServer(("127.0.0.1", port), Handler), port
        except OSError:
            continue
    sys.exit("no free port in %d-%d" % (first_port, last_port))


server, port = bind()
server.daemon_threads = True
parent = os.getppid()


def watch_parent():
    while True:
        if os.getppid() != parent:
            os._exit(0)
        time.sleep(0.2)


threading.Thread(target=watch_parent, daemon=True).start()
print("ready %d" % port, flush=True)
server.serve_forever()
