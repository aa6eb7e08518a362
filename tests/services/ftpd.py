#!/usr/bin/python3
"""FTP server for the tests (pyftpdlib), on 127.0.0.1 at a free port.

ftpd.py PORTFILE ROOT USER PASSWORD: serves ROOT read-write for USER; writes the port
into PORTFILE once listening. Like many real servers it refuses a CWD without a name,
and RETR of "cut.bin" closes the connection in the middle of the transfer.
"""
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


class Handler(FTPHandler):
    def ftp_CWD(self, path):
        if self._last_arg.strip() == "":
            self.respond("550 No directory name.")
            return None
        return super().ftp_CWD(path)

    def pre_process_command(self, line, cmd, arg):
        self._last_arg = arg or ""
        return super().pre_process_command(line, cmd, arg)

    def ftp_RETR(self, file):
        if os.path.basename(file) == "cut.bin":
            self.respond("150 Opening data connection.")
            self.close()
            return None
        return super().ftp_RETR(file)


def main():
    port_file, root, user, password = sys.argv[1:5]
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elradfmwMT")
    Handler.authorizer = authorizer
    Handler.permit_foreign_addresses = False
    Handler.auth_failed_timeout = 0.1
    logging.basicConfig(level=logging.WARNING)
    server = FTPServer(("127.0.0.1", 0), Handler)
    with open(port_file + ".tmp", "w") as f:
        f.write(str(server.address[1]))
    os.rename(port_file + ".tmp", port_file)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
