#!/usr/bin/env python3
# https_files.py CERT KEY PORTFILE FOLDER: an HTTPS server on loopback. A GET of PATH?QUERY gets
# the file of FOLDER named urllib.parse.quote(it, safe=""), else 404; a path holding "trickle"
# gets a byte every half second. The port goes to PORTFILE once it listens.
import os
import ssl
import sys
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


class Handler(BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def do_GET(self):
        if "trickle" in self.path:
            self.send_response(200)
            self.send_header("Content-Length", "1000")
            self.end_headers()
            for _ in range(120):
                self.wfile.write(b" ")
                self.wfile.flush()
                time.sleep(0.5)
            return
        name = os.path.join(sys.argv[4], urllib.parse.quote(self.path, safe=""))
        body = open(name, "rb").read() if os.path.isfile(name) else None
        self.send_response(200 if body is not None else 404)
        self.send_header("Content-Type", "text/xml")
        self.send_header("Content-Length", str(len(body or b"")))
        self.end_headers()
        self.wfile.write(body or b"")


def main():
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(sys.argv[1], sys.argv[2])
    server.socket = context.wrap_socket(server.socket, server_side=True)
    with open(sys.argv[3] + ".tmp", "w") as out:
        out.write(str(server.server_address[1]))
    os.rename(sys.argv[3] + ".tmp", sys.argv[3])
    server.serve_forever()


if __name__ == "__main__":
    main()
