"""An update folder served over HTTP, with chosen files served badly, for the update tests.

Usage: update_server.py PORT ROOT FAULTS. It answers every GET on 127.0.0.1:PORT with the file
under ROOT that the path names (the query is ignored; a missing file is a plain 404). Before
each answer it reads the file FAULTS, if there is one: lines "NAME<tab>MODE[<tab>RATE]", where
NAME is a file name (the last segment of the path, unescaped) and MODE says how that file is
served:

  stall     announces the full length, sends half of the file, then sends nothing more
  cut       announces the full length, sends half of the file and closes the connection
  notfound  answers 404 Not Found with a short page
  error     answers 500 Internal Server Error with a short page
  endless   sends zeros in chunks without end, at RATE bytes a second if given; each response
            stops by itself after two minutes, or when the client goes away
  huge      the same, but announced as a body of 1 GiB
  slow      sends the whole file, at RATE bytes a second

The test changes FAULTS between runs, so one server serves every case. Several attempts of one
download connect at once, so every connection gets its own thread.
"""

import os
import socketserver
import sys
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler

STALL_SECONDS = 600
ENDLESS_SECONDS = 120


def faults(path):
    table = {}
    try:
        with open(path) as f:
            for line in f:
                words = line.rstrip("\n").split("\t") + [""]
                if len(words) >= 3:
                    table[words[0]] = (words[1], int(words[2] or 0))
    except FileNotFoundError:
        pass
    return table


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        name = path.rsplit("/", 1)[-1]
        mode, rate = faults(self.server.faults).get(name, ("plain", 0))
        try:
            if mode in ("notfound", "error"):
                self.send_page(404 if mode == "notfound" else 500)
            elif mode in ("endless", "huge"):
                self.send_endless(rate, mode == "huge")
            else:
                file = os.path.join(self.server.root, path.lstrip("/"))
                if os.path.isfile(file):
                    with open(file, "rb") as f:
                        self.send_body(f.read(), mode, rate)
                else:
                    self.send_page(404)
        except OSError:
            pass  # the client gave up first, as losing attempts do
        self.close_connection = True

    def send_page(self, status):
        page = b"<html><body>%d</body></html>\n" % status
        self.send_response(status)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(page)))
        self.end_headers()
        self.wfile.write(page)

    def send_body(self, body, mode, rate):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if mode in ("stall", "cut"):
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            if mode == "stall":
                time.sleep(STALL_SECONDS)  # the harness ends the server anyway
            return
        if mode != "slow" or rate <= 0:
            self.wfile.write(body)
            return
        start = time.monotonic()
        piece = max(rate // 20, 1)
        for sent in range(0, len(body), piece):
            self.wfile.write(body[sent : sent + piece])
            ahead = start + (sent + piece) / rate - time.monotonic()
            if ahead > 0:
                time.sleep(ahead)

    def send_endless(self, rate, announced):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if announced:
            self.send_header("Content-Length", str(1 << 30))
        else:
            self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        chunk = b"0" * 65536
        frame = chunk if announced else b"%x\r\n" % len(chunk) + chunk + b"\r\n"
        start = time.monotonic()
        sent = 0
        while time.monotonic() < start + ENDLESS_SECONDS:
            self.wfile.write(frame)
            sent += len(chunk)
            ahead = start + sent / rate - time.monotonic() if rate else 0
            if ahead > 0:
                time.sleep(ahead)

    def log_message(self, format, *args):
        pass  # the test's own checks say what happened


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    port, root, faults_file = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    server = Server(("127.0.0.1", port), Handler)
    server.root = root
    server.faults = faults_file
    server.serve_forever()


if __name__ == "__main__":
    main()
