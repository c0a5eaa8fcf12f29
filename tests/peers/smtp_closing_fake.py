#!/usr/bin/env python3
"""A fake SMTP server that closes the connection in the middle of DATA, a fault
no real server produces on demand.

usage: smtp_closing_fake.py PORT
Binds 127.0.0.1:PORT, prints "ready", answers EHLO/MAIL/RCPT, sends 354 to DATA,
reads a few KB of the message and closes without a reply. Serves until its
parent ends.
"""
import os
import socket
import sys
import threading
import time

port = int(sys.argv[1])
listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(("127.0.0.1", port))
listener.listen(5)
parent = os.getppid()


def watch_parent():
    while os.getppid() == parent:
        time.sleep(0.2)
    os._exit(0)


def serve(conn):
    with conn:
        conn.sendall(b"220 localhost fake ESMTP\r\n")
        data = conn.makefile("rb")
        while True:
            line = data.readline()
            if not line:
                return
            verb = line[:4].upper()
            if verb in (b"EHLO", b"HELO"):
                conn.sendall(b"250-localhost\r\n250 8BITMIME\r\n")
            elif verb == b"DATA":
                conn.sendall(b"354 go ahead\r\n")
                data.read(4096)
                conn.shutdown(socket.SHUT_RDWR)
                return
            elif verb == b"QUIT":
                conn.sendall(b"221 bye\r\n")
                return
            else:
                conn.sendall(b"250 ok\r\n")


threading.Thread(target=watch_parent, daemon=True).start()
print("ready", flush=True)
while True:
    client, _ = listener.accept()
    threading.Thread(target=serve, args=(client,), daemon=True).start()
