#!/usr/bin/env python3
"""A plain threading HTTP server for the capture benchmark, as small sites run one.

Usage: movie_server.py MOVIES BYTES BACKLOG

Serves /page.html, embedding MOVIES movies, and /m/<name>.swf, each BYTES long, on 127.0.0.1
at a port of the system's choice, with a listen backlog of BACKLOG (Python's own default is 5).
It answers HTTP/1.0, one request per connection, like `python3 -m http.server`. It prints its
port on the first line and serves until its standard input closes.
"""
import http.server
import sys
import threading

movies, size, backlog = (int(argument) for argument in sys.argv[1:4])
movie = bytes((i * 131 + (i >> 7)) & 0xFF for i in range(size))
page = ("<html><body>" + "".join(f"<embed src='/m/movie{i}.swf'>" for i in range(movies)) +
        "</body></html>").encode()


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        if self.path == "/page.html":
            body, kind = page, "text/html"
        elif self.path.startswith("/m/") and self.path.endswith(".swf"):
            body, kind = movie, "application/x-shockwave-flash"
        else:
            self.send_error(404)
            return
        self.send_response(200)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *arguments):
        pass


class Server(http.server.ThreadingHTTPServer):
    request_queue_size = backlog


server = Server(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
threading.Thread(target=server.serve_forever, daemon=True).start()
sys.stdin.read()
