"""A static HTTP server that sends chosen files slowly, for the tests that watch a download's
progress on the splash.

Usage: throttled_server.py PORT ROOT SLOW_LIST [RATE]. It serves the files under ROOT on
127.0.0.1:PORT. A file whose path under ROOT (such as "updates/Ferrolan-Demo App-...") is a line of
the file SLOW_LIST goes out at RATE bytes a second (default 160 KiB); every other file at once.
SLOW_LIST is read at each request, so a test changes it between runs without a restart.
"""

import functools
import http.server
import sys
import time
import urllib.parse

CHUNK = 16384


class Handler(http.server.SimpleHTTPRequestHandler):
    def slow(self):
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path).lstrip("/")
        try:
            with open(self.server.slow_list, encoding="utf-8") as listed:
                return path in (line.rstrip("\n") for line in listed)
        except OSError:
            return False

    def copyfile(self, source, outputfile):
        if not self.slow():
            super().copyfile(source, outputfile)
            return
        while True:
            chunk = source.read(CHUNK)
            if not chunk:
                return
            outputfile.write(chunk)
            outputfile.flush()
            time.sleep(len(chunk) / self.server.rate)


def main():
    port, root, slow_list = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    server = http.server.ThreadingHTTPServer(
        ("127.0.0.1", port), functools.partial(Handler, directory=root))
    server.slow_list = slow_list
    server.rate = int(sys.argv[4]) if len(sys.argv) > 4 else 160 * 1024
    server.daemon_threads = True
    server.serve_forever()


if __name__ == "__main__":
    main()
