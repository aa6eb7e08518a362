#!/usr/bin/python3
"""The central bank's servers as the exchange-rate tests need them, on 127.0.0.1.

ratesd.py PORTFILE ROOT LOGFILE

- Files: GET /PATH answers ROOT/PATH (404 when there is none).
- Web API, from the list of tables in ROOT/api.json (each as the API gives it):
  /api/exchangerates/tables/A/?format=json            the latest table, as a list of one
  /api/exchangerates/tables/A/FROM/TO/?format=json    the tables of the range; 400 for a
                                                      malformed range or one over 93 days,
                                                      404 when it holds no table
- Faults: ROOT/faults.json (read at every request) maps a path (without the query) to
  a status number, to "close" (the connection ends without an answer) or to
  "body:TEXT" (200 with that body).
Every request line goes to LOGFILE.
"""
import datetime
import http.server
import json
import os
import sys

API = "/api/exchangerates/tables/A/"


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def answer(self, status, body, kind="application/json"):
        if isinstance(body, str):
            body = body.encode()
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def api(self, path):
        tables_path = os.path.join(self.server.root, "api.json")
        tables = []
        if os.path.exists(tables_path):
            with open(tables_path) as f:
                tables = json.load(f)
        rest = path[len(API):].strip("/")
        if rest == "":
            if not tables:
                return self.answer(404, "404 NotFound - Not Found - Brak danych", "text/plain")
            return self.answer(200, json.dumps([tables[-1]]))
        parts = rest.split("/")
        try:
            if len(parts) != 2:
                raise ValueError
            first = datetime.date.fromisoformat(parts[0])
            last = datetime.date.fromisoformat(parts[1])
            if last < first or (last - first).days + 1 > 93:
                raise ValueError
        except ValueError:
            return self.answer(400, "400 BadRequest - Błędny zakres dat", "text/plain")
        found = [t for t in tables if first <= datetime.date.fromisoformat(t["effectiveDate"]) <= last]
        if not found:
            return self.answer(404, "404 NotFound - Not Found - Brak danych", "text/plain")
        return self.answer(200, json.dumps(found))

    def do_GET(self):
        with open(self.server.log_file, "a") as log:
            log.write(self.path + "\n")
        path = self.path.split("?", 1)[0]
        faults_path = os.path.join(self.server.root, "faults.json")
        if os.path.exists(faults_path):
            with open(faults_path) as f:
                fault = json.load(f).get(path)
            if fault == "close":
                self.close_connection = True
                return
            if isinstance(fault, int):
                return self.answer(fault, "error page", "text/plain")
            if isinstance(fault, str) and fault.startswith("body:"):
                return self.answer(200, fault[5:])
        if path.startswith(API):
            return self.api(path)
        local = os.path.normpath(os.path.join(self.server.root, path.lstrip("/")))
        if not local.startswith(self.server.root + os.sep) or not os.path.isfile(local):
            return self.answer(404, "not found", "text/plain")
        with open(local, "rb") as f:
            self.answer(200, f.read(), "application/octet-stream")

    def log_message(self, *args):
        pass


def main():
    port_file, root, log_file = sys.argv[1:4]
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.root = os.path.realpath(root)
    server.log_file = log_file
    with open(port_file + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(port_file + ".tmp", port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
