#!/usr/bin/env python3
"""A local HTTP receiver standing in for the web service in tests.

Every POST is kept as two files in DIR: request-N.head (the request line and
header lines as received) and request-N.body (the body bytes), N counting from 1.
The answer comes from DIR/reply-N or, when that is missing, DIR/reply: its first
line "STATUS [delay-ms]" or "drop" (close without answering), the rest (after
that line's LF) is sent as the body byte for byte. Without either file the answer
is "200" with the body "0".

usage: http_receiver.py DIR FIRST_PORT LAST_PORT [CERT KEY]
Binds 127.0.0.1 on the first free port of the range (https with CERT and KEY),
prints "ready PORT" and serves until its parent ends.
"""
import http.server
import os
import socket
import ssl
import sys
import threading
import time

directory = sys.argv[1]
first_port, last_port = int(sys.argv[2]), int(sys.argv[3])
tls = sys.argv[4:6] if len(sys.argv) >= 6 else None
lock = threading.Lock()
counter = [0]


def reply_for(number):
    for name in ("reply-%d" % number, "reply"):
        path = os.path.join(directory, name)
        if os.path.exists(path):
            with open(path, "rb") as f:
                data = f.read()
            line, _, body = data.partition(b"\n")
            return line.decode().split(), body
    return ["200"], b"0"


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length)
        with lock:
            counter[0] += 1
            number = counter[0]
        head = self.requestline + "\r\n" + str(self.headers)
        with open(os.path.join(directory, "request-%d.body" % number), "wb") as f:
            f.write(body)
        with open(os.path.join(directory, "request-%d.head" % number), "w") as f:
            f.write(head)
        words, answer = reply_for(number)
        if words[0] == "drop":
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
            return
        if len(words) > 1:
            time.sleep(int(words[1]) / 1000.0)
        try:
            self.send_response(int(words[0]))
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(answer)))
            self.end_headers()
            self.wfile.write(answer)
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
if tls:
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(tls[0], tls[1])
    server.socket = context.wrap_socket(server.socket, server_side=True)
parent = os.getppid()


def watch_parent():
    while True:
        if os.getppid() != parent:
            os._exit(0)
        time.sleep(0.2)


threading.Thread(target=watch_parent, daemon=True).start()
print("ready %d" % port, flush=True)
server.serve_forever()
