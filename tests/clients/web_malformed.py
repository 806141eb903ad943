"""Sends the HTTP face one request it cannot take, on a connection of its own, and reads until
the server closes it; prints "status N" (the status of the answer, or none), and "closed" as
"end" (closed), "reset" or "open" (still open when the wait ran out).

Usage: /usr/bin/python3 web_malformed.py PORT garbage|request-line|header-size|header-count|
                                              url-size|body-size
"""
import socket
import sys

# Only against a hang: a server that neither answers nor closes is what this looks for.
TIMEOUT_S = 10
OVERSIZE = 64 * 1024

port = int(sys.argv[1])
host = f"Host: 127.0.0.1:{port}\r\n".encode()
requests = {
    # A TLS client's hello, as a browser sends to an http:// address it takes for https.
    "garbage": bytes.fromhex("16030100a5010000a10303") + bytes(range(256)),
    "request-line": b"GET /api/output HTTP/1.1 please\r\n" + host + b"\r\n",
    "header-size": b"GET /api/output HTTP/1.1\r\n"
    + host
    + b"X-Big: "
    + b"a" * OVERSIZE
    + b"\r\n\r\n",
    "header-count": b"GET /api/output HTTP/1.1\r\n"
    + host
    + b"".join(b"X-Field-%d: 1\r\n" % number for number in range(200))
    + b"\r\n",
    "url-size": b"GET /api/output?" + b"a" * OVERSIZE + b" HTTP/1.1\r\n" + host + b"\r\n",
    # Announced and begun: the server must not wait for the rest to refuse it.
    "body-size": b"PUT /api/output HTTP/1.1\r\n"
    + host
    + b"Content-Length: %d\r\n\r\n" % (16 * OVERSIZE)
    + b"1" * 1024,
}

connection = socket.create_connection(("127.0.0.1", port), timeout=TIMEOUT_S)
received = b""
closed = "open"
try:
    connection.sendall(requests[sys.argv[2]])
    while True:
        piece = connection.recv(4096)
        if not piece:
            closed = "end"
            break
        received += piece
except socket.timeout:
    pass
except (ConnectionResetError, BrokenPipeError):
    closed = "reset"
connection.close()
status_line = received.split(b"\r\n", 1)[0].split(b" ")
print("status", status_line[1].decode() if status_line[0].startswith(b"HTTP/") else "none")
print("closed", closed)
