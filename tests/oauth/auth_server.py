#!/usr/bin/env python3
"""The tests' OAuth 2.0 server on loopback over TLS: auth_server.py CERT KEY PORTFILE FOLDER

/authorize consents at once (or refuses after /control/deny); /token takes a code with its PKCE
verifier, or a refresh token; /introspect answers Dovecot (introspection_mode = post).
/control/expire|revoke|rotate|deny|grant?user=U change it, /control/log lists the token requests.
A path holding "trickle" answers a byte every 0.2 s; another GET gets FOLDER's file named
urllib.parse.quote(path, safe=""), else 404.
"""
import base64
import hashlib
import json
import os
import secrets
import ssl
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

LIFETIME = 3600
lock = threading.Lock()
codes = {}     # code -> (challenge, redirect_uri, user)
access = {}    # token -> (user, expiry)
refresh = {}   # token -> user
settings = {"rotate": False, "deny": False}
log = []


def issue(user, with_refresh):
    token = "at-" + secrets.token_urlsafe(24)
    access[token] = (user, time.time() + LIFETIME)
    reply = {"access_token": token, "token_type": "Bearer", "expires_in": LIFETIME}
    if with_refresh:
        reply["refresh_token"] = "rt-" + secrets.token_urlsafe(24)
        refresh[reply["refresh_token"]] = user
    return reply


def parse(text):
    return {k: v[0] for k, v in urllib.parse.parse_qs(text).items()}


class Handler(BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def answer(self, status, body, location=None):
        data = json.dumps(body).encode() if isinstance(body, dict) else body
        self.send_response(status)
        if location:
            self.send_header("Location", location)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def trickle(self):
        self.send_response(200)
        self.send_header("Content-Length", "4000")
        self.end_headers()
        for _ in range(4000):
            self.wfile.write(b" ")
            self.wfile.flush()
            time.sleep(0.2)

    def do_GET(self):
        if "trickle" in self.path:
            return self.trickle()
        url = urllib.parse.urlsplit(self.path)
        with lock:
            if url.path == "/authorize":
                return self.authorize(parse(url.query))
            if url.path.startswith("/control/"):
                return self.control(url.path[len("/control/"):], parse(url.query))
        name = os.path.join(sys.argv[4], urllib.parse.quote(self.path, safe=""))
        if os.path.isfile(name):
            return self.answer(200, open(name, "rb").read())
        self.answer(404, {})

    def authorize(self, query):
        redirect, state = query.get("redirect_uri", ""), query.get("state", "")
        if not redirect.startswith(("http://127.0.0.1:", "http://localhost:")) or \
                query.get("code_challenge_method") != "S256" or query.get("response_type") != "code":
            return self.answer(400, {"error": "invalid_request"})
        if settings["deny"]:
            target = {"error": "access_denied", "error_description": "The user said no",
                      "state": state}
        else:
            code = secrets.token_urlsafe(16)
            codes[code] = (query.get("code_challenge", ""), redirect, query.get("login_hint", "user"))
            target = {"code": code, "state": state}
        self.answer(302, b"", redirect + "?" + urllib.parse.urlencode(target))

    def control(self, what, query):
        if what == "expire":
            for token, (user, _) in list(access.items()):
                access[token] = (user, 0)
        elif what == "revoke":
            access.clear()
            refresh.clear()
        elif what == "grant":
            return self.answer(200, issue(query.get("user", "user"), True))
        elif what in settings:
            settings[what] = True
        elif what != "log":
            return self.answer(404, {})
        self.answer(200, {"log": log})

    def do_POST(self):
        if "trickle" in self.path:
            return self.trickle()
        length = min(int(self.headers.get("Content-Length", "0")), 1 << 16)
        fields = parse(self.rfile.read(length).decode())
        with lock:
            if self.path == "/token":
                return self.token(fields)
            if self.path == "/introspect":
                user, expiry = access.get(fields.get("token", ""), ("", 0))
                return self.answer(200, {"active": expiry > time.time(), "username": user})
        self.answer(404, {})

    def token(self, fields):
        grant = fields.get("grant_type", "")
        log.append(grant)
        if grant == "authorization_code":
            challenge, redirect, user = codes.pop(fields.get("code", ""), ("", "", ""))
            verifier = fields.get("code_verifier", "").encode()
            computed = base64.urlsafe_b64encode(hashlib.sha256(verifier).digest()).rstrip(b"=")
            if not challenge or computed.decode() != challenge or fields.get("redirect_uri") != redirect:
                return self.answer(400, {"error": "invalid_grant"})
            return self.answer(200, issue(user, True))
        if grant == "refresh_token":
            user = refresh.get(fields.get("refresh_token", ""))
            if user is None:
                return self.answer(400, {"error": "invalid_grant", "error_description": "revoked"})
            if settings["rotate"]:
                del refresh[fields["refresh_token"]]
            return self.answer(200, issue(user, settings["rotate"]))
        self.answer(400, {"error": "unsupported_grant_type"})


def main():
    cert, key, port_file = sys.argv[1:4]
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    with open(port_file + ".tmp", "w") as out:
        out.write(str(server.server_address[1]))
    os.rename(port_file + ".tmp", port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
