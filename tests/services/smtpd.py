#!/usr/bin/python3
"""SMTP server for the tests (aiosmtpd), on 127.0.0.1 at a free port.

smtpd.py PORTFILE OUTDIR [--tls CERT KEY] [--auth USER PASSWORD] [--refuse ADDRESS] [--slow-data MS]
Each message received goes to OUTDIR as NNNN.eml, with NNNN.env beside it (the envelope
sender on the first line, then one recipient a line). --tls offers STARTTLS, --auth
requires AUTH LOGIN (or PLAIN) with that user, --refuse answers 550 to RCPT of ADDRESS,
--slow-data keeps a message it has stored MS milliseconds before it answers 250.
"""
import asyncio
import os
import socket
import ssl
import sys
import threading
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult


class Handler:
    def __init__(self, out_dir, refuse):
        self.out_dir = out_dir
        self.refuse = refuse
        self.slow_data = 0
        self.count = 0
        self.lock = threading.Lock()

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.refuse:
            return "550 5.1.1 No such user here"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        with self.lock:
            self.count += 1
            name = os.path.join(self.out_dir, "%04d" % self.count)
        with open(name + ".env.tmp", "w") as f:
            f.write((envelope.mail_from or "") + "\n")
            for r in envelope.rcpt_tos:
                f.write(r + "\n")
        with open(name + ".eml.tmp", "wb") as f:
            f.write(envelope.original_content)
        os.rename(name + ".env.tmp", name + ".env")
        os.rename(name + ".eml.tmp", name + ".eml")
        if self.slow_data:
            await asyncio.sleep(self.slow_data)
        return "250 Message accepted"


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def main():
    args = sys.argv[1:]
    port_file, out_dir = args[0], args[1]
    tls = None
    auth = None
    refuse = []
    slow_data = 0
    i = 2
    while i < len(args):
        if args[i] == "--tls":
            tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
            tls.load_cert_chain(args[i + 1], args[i + 2])
            i += 3
        elif args[i] == "--auth":
            auth = (args[i + 1], args[i + 2])
            i += 3
        elif args[i] == "--refuse":
            refuse.append(args[i + 1])
            i += 2
        elif args[i] == "--slow-data":
            slow_data = int(args[i + 1]) / 1000.0
            i += 2
        else:
            raise SystemExit("unknown argument " + args[i])

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = auth is not None and auth_data.login.decode() == auth[0] and auth_data.password.decode() == auth[1]
        # handled=False: the server itself answers a refusal with 535.
        return AuthResult(success=ok, handled=False)

    port = free_port()
    kwargs = dict(hostname="127.0.0.1", port=port, tls_context=tls, require_starttls=False,
                  decode_data=False, auth_require_tls=bool(tls))
    if auth:
        kwargs.update(authenticator=authenticator, auth_required=True)
    handler = Handler(out_dir, refuse)
    handler.slow_data = slow_data
    controller = Controller(handler, **kwargs)
    controller.start()
    with open(port_file + ".tmp", "w") as f:
        f.write(str(port))
    os.rename(port_file + ".tmp", port_file)
    try:
        while True:
            time.sleep(3600)
    except KeyboardInterrupt:
        pass
    finally:
        controller.stop()


if __name__ == "__main__":
    main()
