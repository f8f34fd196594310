"""An HTTP server that misbehaves in one way, for the download tests.

Usage: bad_server.py MODE PORT BODY_FILE [RATE]. It answers every GET on 127.0.0.1:PORT with the bytes
of BODY_FILE, and MODE says how:

  stall     announces the full length, sends half of the body, then sends nothing more
  short     announces the full length, sends half of the body and closes the connection
  nolength  sends the whole body without a Content-Length and ends it by closing
  notfound  answers 404 Not Found with the whole body and its length
  endless   sends zeros in chunks without end (BODY_FILE is not read), at RATE bytes a second
            if given; each response stops by itself after two minutes, or when the client goes
            away

Several attempts of one download connect at once, so every connection gets its own thread.
"""

import socketserver
import sys
import time

ENDLESS_SECONDS = 120
from http.server import BaseHTTPRequestHandler


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        mode = self.server.mode
        if mode == "endless":
            self.send_endless()
            return
        body = self.server.body
        half = len(body) // 2
        self.send_response(404 if mode == "notfound" else 200)
        self.send_header("Content-Type", "application/octet-stream")
        if mode == "nolength":
            self.send_header("Connection", "close")
        else:
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        try:
            if mode in ("stall", "short"):
                self.wfile.write(body[:half])
                self.wfile.flush()
                if mode == "stall":
                    # Longer than any receive time-out; the harness ends the server anyway.
                    time.sleep(600)
            else:
                self.wfile.write(body)
                self.wfile.flush()
        except OSError:
            pass  # the client gave up first, as losing attempts do
        self.close_connection = True

    def send_endless(self):
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        chunk = b"0" * 65536
        frame = b"%x\r\n" % len(chunk) + chunk + b"\r\n"
        start = time.monotonic()
        sent = 0
        rate = self.server.rate
        try:
            while time.monotonic() < start + ENDLESS_SECONDS:
                self.wfile.write(frame)
                sent += len(chunk)
                if rate:
                    ahead = start + sent / rate - time.monotonic()
                    if ahead > 0:
                        time.sleep(ahead)
        except OSError:
            pass  # the client stopped reading, as it should
        self.close_connection = True

    def log_message(self, format, *args):
        pass  # the test's own checks say what happened


class Server(socketserver.ThreadingMixIn, socketserver.TCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    mode, port, body_file = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    body = b""
    if mode != "endless":
        with open(body_file, "rb") as f:
            body = f.read()
    server = Server(("127.0.0.1", port), Handler)
    server.mode = mode
    server.rate = int(sys.argv[4]) if len(sys.argv) > 4 else 0
    server.body = body
    server.serve_forever()


if __name__ == "__main__":
    main()
