#!/usr/bin/python3
"""An aiosmtpd SMTP server on 127.0.0.1 for the mail protocol tests.

    /usr/bin/python3 smtp_aiosmtpd.py serve DIR --port P [--tls-port Q]
                     [--user U --password W]

Run it with Debian's Python (/usr/bin/python3), which has python3-aiosmtpd.
--port offers STARTTLS, --tls-port implicit TLS (OpenSSL, TLS 1.0 allowed);
both offer AUTH PLAIN, LOGIN and CRAM-MD5 for the one account (default
alice / secret). Every message is written to DIR/messages/N.eml exactly as
the server received it (after the transparency dots are removed), with its
envelope in N.json: sender, recipients, MAIL FROM parameters, the login, TLS
version and cipher. Prints "ready" once both ports listen and serves until
SIGTERM or until its parent ends. DIR/rsa.crt is the server's certificate.
"""

import argparse
import hmac
import json
import os
import signal
import ssl
import subprocess
import sys
import threading
import warnings

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


class Handler:
    def __init__(self, folder, user, password):
        self.folder = folder
        self.user = user
        self.password = password
        self.count = 0
        self.lock = threading.Lock()

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.count += 1
            number = self.count
        base = os.path.join(self.folder, str(number))
        with open(base + ".eml.part", "wb") as out:
            out.write(envelope.original_content)
        login = getattr(session.auth_data, "login", None)
        # STARTTLS leaves the TLS details in the session, implicit TLS in the transport.
        ssl_object = None
        if isinstance(session.ssl, dict):
            ssl_object = session.ssl.get("ssl_object")
        if ssl_object is None and server.transport is not None:
            ssl_object = server.transport.get_extra_info("ssl_object")
        version = ssl_object.version() if ssl_object is not None else None
        cipher = ssl_object.cipher()[0] if ssl_object is not None else None
        with open(base + ".json", "w") as out:
            json.dump({
                "sender": envelope.mail_from,
                "recipients": envelope.rcpt_tos,
                "mail_options": envelope.mail_options,
                "login": login.decode() if isinstance(login, bytes) else None,
                "tls_version": version,
                "cipher": cipher,
            }, out)
        os.rename(base + ".eml.part", base + ".eml")
        return "250 OK queued as %d" % number

    async def auth_CRAM__MD5(self, server, args):
        challenge = ("<%d.%d@localhost>" % (os.getpid(), self.count)).encode()
        response = await server.challenge_auth(challenge)
        if not isinstance(response, bytes):
            return None  # cancelled with "*": the server has answered already
        user, _, digest = response.decode("latin-1").partition(" ")
        expected = hmac.new(self.password.encode(), challenge, "md5").hexdigest()
        ok = user == self.user and hmac.compare_digest(digest.encode(), expected.encode())
        return AuthResult(success=ok, handled=False, auth_data=LoginPassword(user.encode(), b"") if ok else None)


def make_authenticator(user, password):
    def authenticate(server, session, envelope, mechanism, auth_data):
        if isinstance(auth_data, LoginPassword):
            ok = auth_data.login.decode() == user and auth_data.password.decode() == password
            return AuthResult(success=ok, handled=False, auth_data=auth_data if ok else None)
        return AuthResult(success=False, handled=False)
    return authenticate


def tls_context(folder):
    cert = os.path.join(folder, "rsa.crt")
    key = os.path.join(folder, "rsa.key")
    if not os.path.exists(cert):
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                        "-days", "3650", "-subj", "/CN=localhost",
                        "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1"],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    dh = os.path.join(folder, "dh.pem")
    if not os.path.exists(dh):
        subprocess.run(["openssl", "dhparam", "-dsaparam", "-out", dh, "1024"], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)  # TLS 1.0 is what the tests need
        context.minimum_version = ssl.TLSVersion.TLSv1
    context.set_ciphers("ALL:@SECLEVEL=0")
    context.load_cert_chain(cert, key)
    context.load_dh_params(dh)
    return context


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("command", choices=["serve"])
    parser.add_argument("dir")
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--tls-port", type=int)
    parser.add_argument("--user", default="alice")
    parser.add_argument("--password", default="secret")
    args = parser.parse_args()

    folder = os.path.abspath(args.dir)
    messages = os.path.join(folder, "messages")
    os.makedirs(messages, exist_ok=True)
    context = tls_context(folder)
    handler = Handler(messages, args.user, args.password)
    common = dict(authenticator=make_authenticator(args.user, args.password), auth_require_tls=False,
                  auth_exclude_mechanism=["DONT"])
    controllers = [Controller(handler, hostname="127.0.0.1", port=args.port, tls_context=context, **common)]
    if args.tls_port:
        controllers.append(Controller(handler, hostname="127.0.0.1", port=args.tls_port, ssl_context=context,
                                      **common))
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    for c in controllers:
        c.start()
    print("ready", flush=True)
    parent = os.getppid()
    while not stop.wait(0.2):
        if os.getppid() != parent:
            break
    for c in controllers:
        c.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
