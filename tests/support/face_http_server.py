#!/usr/bin/env python3
"""An HTTP server on 127.0.0.1 for the loader and player tests (standard library only).

usage: face_http_server.py FOLDER

Binds a free port, prints it as one line on stdout, and serves until stdin reaches its end
(the test process closed it, or died), then exits. Paths:

  /files/NAME            the file FOLDER/NAME
  /status/CODE/NAME      the file FOLDER/NAME as the body, with status CODE
  /huge/NAME             FOLDER/NAME followed by zero bytes up to 50 MB, in 64 KiB writes
  /huge-sent             how many bytes the last /huge sent, once its transfer has ended
  /silent                accepts the request and never answers
  /loop                  redirects to itself
  /redirect/NAME         redirects to /files/NAME
  /slow/MS/NAME          the file FOLDER/NAME, sent after a pause of MS milliseconds
  /redirect-to?URL       redirects to URL as given
  /cut/NAME              announces one byte more than FOLDER/NAME holds, sends the file, closes
"""

import http.server
import os
import sys
import threading
import time
import urllib.parse

HUGE_BYTES = 50 * 1024 * 1024
CHUNK = 64 * 1024

folder = sys.argv[1]
stopping = threading.Event()
huge_done = threading.Event()
huge_sent = 0


def read_named(name):
    path = os.path.join(folder, os.path.basename(name))
    with open(path, "rb") as f:
        return f.read()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send_body(self, code, body, length=None):
        self.send_response(code)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body) if length is None else length))
        self.end_headers()
        self.wfile.write(body)

    def redirect(self, location):
        self.send_response(302)
        self.send_header("Location", location)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def do_GET(self):
        parsed = urllib.parse.urlsplit(self.path)
        parts = parsed.path.split("/")[1:]
        try:
            if parts[0] == "files" and len(parts) == 2:
                self.send_body(200, read_named(parts[1]))
            elif parts[0] == "slow" and len(parts) == 3:
                time.sleep(int(parts[1]) / 1000)
                self.send_body(200, read_named(parts[2]))
            elif parts[0] == "status" and len(parts) == 3:
                self.send_body(int(parts[1]), read_named(parts[2]))
            elif parts[0] == "huge" and len(parts) == 2:
                self.send_huge(read_named(parts[1]))
            elif parts[0] == "huge-sent":
                # The client closing its end is noticed on the next write; wait for it.
                huge_done.wait(30)
                self.send_body(200, str(huge_sent).encode())
            elif parts[0] == "silent":
                stopping.wait()
                self.close_connection = True
            elif parts[0] == "loop":
                self.redirect("/loop")
            elif parts[0] == "redirect" and len(parts) == 2:
                self.redirect("/files/" + parts[1])
            elif parts[0] == "redirect-to":
                self.redirect(urllib.parse.unquote(parsed.query))
            elif parts[0] == "cut" and len(parts) == 2:
                body = read_named(parts[1])
                self.send_body(200, body, length=len(body) + 1)
                self.close_connection = True
            else:
                self.send_body(404, b"not found")
        except FileNotFoundError:
            self.send_body(404, b"not found")
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True

    def send_huge(self, head):
        global huge_sent
        huge_done.clear()
        huge_sent = 0
        try:
            self.send_response(200)
            self.send_header("Content-Type", "application/octet-stream")
            self.send_header("Content-Length", str(HUGE_BYTES))
            self.end_headers()
            body = memoryview(head + bytes(HUGE_BYTES - len(head)))
            while huge_sent < HUGE_BYTES:
                self.wfile.write(body[huge_sent:huge_sent + CHUNK])
                self.wfile.flush()
                huge_sent += min(CHUNK, HUGE_BYTES - huge_sent)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True
        finally:
            huge_done.set()


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = False


def main():
    server = Server(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print(server.server_address[1], flush=True)
    # The test process holds our stdin; its end, however it comes, ends the server.
    while sys.stdin.buffer.read(4096):
        pass
    stopping.set()
    server.shutdown()
    server.server_close()
    os._exit(0)


if __name__ == "__main__":
    main()
