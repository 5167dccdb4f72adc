#!/usr/bin/env python3
"""HTTPS file server on 127.0.0.1 for the updater's tests and benchmark.

Serves the files under --root and, per path, misbehaves as a JSON rules file says. The rules
file is read again for every request, so a test can change them while the server runs:

  {"/data/QX/UList": {"last_modified": "Wed, 01 May 2024 00:30:00 GMT"},
   "GET /data/QX/MST.FDB": {"drop_after": 1000}}

A rule is looked up as "<METHOD> <path>" first, then "<path>". Its keys:
  status        answer with this status and a short body instead of the file
  location      Location header (with a 3xx status)
  no_length     send the body without Content-Length, then close the connection
  last_modified Last-Modified text; null leaves the header out (default: the file's time)
  drop_after    send the headers and this many body bytes, then close the connection
  stall         send the headers and `stall_after` body bytes, then wait this many seconds
  stall_after   see stall (default 0)

Every request is appended as one JSON line to --log (method, path, headers, TLS version,
client port). The chosen port is written to --port-file once the server listens.
"""

import argparse
import email.utils
import http.server
import json
import os
import socket
import ssl
import sys
import time

CHUNK = 256 * 1024


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TestServer/1.0"

    def log_message(self, fmt, *args):  # keep test output quiet
        pass

    def rule(self):
        try:
            with open(self.server.rules_path, encoding="utf-8") as f:
                rules = json.load(f)
        except (OSError, ValueError):
            rules = {}
        path = self.path.split("?", 1)[0]
        return rules.get(f"{self.command} {path}", rules.get(path, {})), path

    def record(self, path):
        if not self.server.log_path:
            return
        entry = {
            "method": self.command,
            "path": path,
            "headers": {k: v for k, v in self.headers.items()},
            "tls": self.connection.version() if hasattr(self.connection, "version") else None,
            "port": self.client_address[1],
        }
        with open(self.server.log_path, "a", encoding="utf-8") as f:
            f.write(json.dumps(entry) + "\n")

    def do_HEAD(self):
        self.answer(head=True)

    def do_GET(self):
        self.answer(head=False)

    def answer(self, head):
        rule, path = self.rule()
        self.record(path)
        if "status" in rule:
            body = f"status {rule['status']}\n".encode()
            self.send_response(int(rule["status"]))
            if "location" in rule:
                self.send_header("Location", rule["location"])
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            if not head:
                self.wfile.write(body)
            return
        local = os.path.join(self.server.root, path.lstrip("/"))
        if not os.path.isfile(local):
            body = b"not found\n"
            self.send_response(404)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            if not head:
                self.wfile.write(body)
            return
        size = os.path.getsize(local)
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if rule.get("no_length"):
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(size))
        modified = rule.get("last_modified", email.utils.formatdate(os.path.getmtime(local), usegmt=True))
        if modified is not None:
            self.send_header("Last-Modified", modified)
        self.end_headers()
        if head:
            return
        limit = None
        if "drop_after" in rule:
            limit = int(rule["drop_after"])
        elif "stall" in rule:
            limit = int(rule.get("stall_after", 0))
        sent = 0
        with open(local, "rb") as f:
            while limit is None or sent < limit:
                want = CHUNK if limit is None else min(CHUNK, limit - sent)
                data = f.read(want)
                if not data:
                    break
                self.wfile.write(data)
                sent += len(data)
        self.wfile.flush()
        if "stall" in rule:
            time.sleep(float(rule["stall"]))
        if limit is not None:
            self.close_connection = True
            try:
                self.connection.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def finish_request(self, request, client_address):
        # The handshake happens on the connection's own thread, so a client that fails it
        # (an untrusted certificate, a protocol it does not offer) holds up nobody else.
        request.settimeout(30)
        # Headers and body leave as separate small writes; without this the second waits for
        # the client's delayed acknowledgement, as no production server lets it.
        request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        tls = self.context.wrap_socket(request, server_side=True)
        try:
            self.RequestHandlerClass(tls, client_address, self)
        finally:
            try:
                tls.close()
            except OSError:
                pass

    def handle_error(self, request, client_address):  # a client that goes away is no error here
        pass


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--rules", required=True)
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--log", default="")
    parser.add_argument("--tls13-only", action="store_true")
    args = parser.parse_args()

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(args.cert, args.key)
    context.minimum_version = ssl.TLSVersion.TLSv1_3 if args.tls13_only else ssl.TLSVersion.TLSv1_2

    server = Server(("127.0.0.1", 0), Handler)
    server.root = args.root
    server.rules_path = args.rules
    server.log_path = args.log
    server.context = context
    port = server.server_address[1]
    temp = args.port_file + ".tmp"
    with open(temp, "w", encoding="ascii") as f:
        f.write(str(port))
    os.replace(temp, args.port_file)
    try:
        server.serve_forever(poll_interval=0.1)
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
