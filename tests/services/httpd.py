#!/usr/bin/python3
"""HTTP server for the tests, on 127.0.0.1 at a free port.

httpd.py PORTFILE LOGFILE [--tls CERT KEY]: /ok/NAME answers 200 with "body of NAME"; /404 and /500 those
codes; /redirect a 302 to /ok/redirected; /loop a redirect to itself; /trickle a body of
1,000 bytes sent 2 bytes a second. Every request
head goes to LOGFILE. --tls serves HTTPS with that certificate.
"""
import http.server
import os
import ssl
import sys
import time


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with open(self.server.log_file, "a") as log:
            log.write(self.requestline + "\n" + str(self.headers) + "\n")
        if self.path.startswith("/ok/"):
            body = ("body of " + self.path[4:]).encode()
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.send_header("Set-Cookie", "seen=1; Path=/")
            self.end_headers()
            self.wfile.write(body)
        elif self.path in ("/404", "/500"):
            body = b"error page"
            self.send_response(int(self.path[1:]))
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        elif self.path == "/redirect":
            self.send_response(302)
            self.send_header("Location", "/ok/redirected")
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif self.path == "/trickle":
            self.send_response(200)
            self.send_header("Content-Length", "1000")
            self.end_headers()
            try:
                for _ in range(500):
                    self.wfile.write(b"xx")
                    self.wfile.flush()
                    time.sleep(1)
            except (BrokenPipeError, ConnectionResetError):
                pass
        elif self.path == "/loop":
            self.send_response(302)
            self.send_header("Location", "/loop")
            self.send_header("Content-Length", "0")
            self.end_headers()
        else:
            self.send_error(404)

    def log_message(self, *args):
        pass


def main():
    port_file, log_file = sys.argv[1:3]
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    if sys.argv[3:4] == ["--tls"]:
        tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        tls.load_cert_chain(sys.argv[4], sys.argv[5])
        server.socket = tls.wrap_socket(server.socket, server_side=True)
    server.log_file = log_file
    with open(port_file + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(port_file + ".tmp", port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
