#!/usr/bin/env python3
"""A small OAuth 2.0 authorization server for the tests, on loopback over TLS.

    auth_server.py CERT KEY PORTFILE FOLDER

/authorize consents at once (302 to the redirect with a code, or with
error=access_denied once /control/deny was asked); /token takes the code with its
PKCE verifier and refresh tokens; /introspect answers Dovecot's oauth2 passdb
(introspection_mode = post). /control/... changes what it does: expire (every access
token stale), revoke (every grant gone), rotate (refresh tokens replaced at each use),
deny, grant?user=U (tokens as a sign-in would give); /control/log lists the token
requests. A path holding "trickle" answers a byte every 0.2 s; another GET gets the file of
FOLDER named urllib.parse.quote(path, safe=""), else 404.
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

lock = threading.Lock()
codes = {}     # code -> (challenge, redirect_uri, user)
access = {}    # token -> (user, expiry)
refresh = {}   # token -> user
settings = {"rotate": False, "lifetime": 3600, "deny": False}
log = []


def issue(user, with_refresh):
    token = "at-" + secrets.token_urlsafe(24)
    access[token] = (user, time.time() + settings["lifetime"])
    reply = {"access_token": token, "token_type": "Bearer", "expires_in": settings["lifetime"]}
    if with_refresh:
        kept = "rt-" + secrets.token_urlsafe(24)
        refresh[kept] = user
        reply["refresh_token"] = kept
    return reply


class Handler(BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def answer(self, status, body, headers=()):
        data = json.dumps(body).encode() if isinstance(body, dict) else body
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def form(self):
        length = min(int(self.headers.get("Content-Length", "0")), 1 << 16)
        return {k: v[0] for k, v in urllib.parse.parse_qs(self.rfile.read(length).decode()).items()}

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
        query = {k: v[0] for k, v in urllib.parse.parse_qs(url.query).items()}
        with lock:
            if url.path == "/authorize":
                return self.authorize(query)
            if url.path.startswith("/control/"):
                return self.control(url.path[len("/control/"):], query)
        name = os.path.join(sys.argv[4], urllib.parse.quote(self.path, safe=""))
        if os.path.isfile(name):
            return self.answer(200, open(name, "rb").read())
        self.answer(404, {})

    def authorize(self, query):
        redirect = query.get("redirect_uri", "")
        if not redirect.startswith(("http://127.0.0.1:", "http://localhost:")) or \
                query.get("code_challenge_method") != "S256" or query.get("response_type") != "code":
            return self.answer(400, {"error": "invalid_request"})
        if settings["deny"]:
            target = {"error": "access_denied", "error_description": "The user said no",
                      "state": query.get("state", "")}
        else:
            code = secrets.token_urlsafe(16)
            codes[code] = (query.get("code_challenge", ""), redirect, query.get("login_hint", "user"))
            target = {"code": code, "state": query.get("state", "")}
        self.answer(302, b"", [("Location", redirect + "?" + urllib.parse.urlencode(target))])

    def control(self, what, query):
        if what == "expire":
            for token, (user, _) in list(access.items()):
                access[token] = (user, 0)
        elif what == "revoke":
            access.clear()
            refresh.clear()
        elif what == "grant":
            return self.answer(200, issue(query.get("user", "user"), True))
        elif what in ("rotate", "deny"):
            settings[what] = True
        elif what != "log":
            return self.answer(404, {})
        self.answer(200, {"log": log})

    def do_POST(self):
        fields = self.form()
        if self.path == "/trickle":
            return self.trickle()
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
            old = fields.get("refresh_token", "")
            if old not in refresh:
                return self.answer(400, {"error": "invalid_grant", "error_description": "revoked"})
            user = refresh[old]
            if settings["rotate"]:
                del refresh[old]
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
