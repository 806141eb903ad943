"""Several requests on one HTTP/1.1 connection. First through the standard library's client,
which reuses the connection while the server keeps it: prints "NAME STATUS BODY" for each
request and "connections N", the number of connections they took. Then HEAD requests and a GET
on a socket: prints "heads STATUS,..." for the answers as they follow one another in the bytes,
"?" where an answer does not start where the one before ended.

Usage: /usr/bin/python3 web_keepalive.py PAGE_PORT
"""
import http.client
import socket
import sys

TIMEOUT_S = 10

port = int(sys.argv[1])
connection = http.client.HTTPConnection("127.0.0.1", port, timeout=TIMEOUT_S)
local_ports = set()
for name, method, path, body in [
    ("state", "GET", "/api/state", None),
    ("on", "PUT", "/api/output", b"1"),
    ("read", "GET", "/api/output", None),
    ("missing", "GET", "/nowhere", None),
    ("off", "PUT", "/api/output", b"0"),
    ("after", "GET", "/api/output", None),
]:
    connection.request(method, path, body)
    local_ports.add(connection.sock.getsockname()[1])
    answer = connection.getresponse()
    text = answer.read().decode()
    print(name, answer.status, text if path == "/api/output" else len(text))
print("connections", len(local_ports))
connection.close()


def statuses(stream, methods):
    found = []
    for method in methods:
        head, _, stream = stream.partition(b"\r\n\r\n")
        lines = head.decode(errors="replace").split("\r\n")
        if not lines[0].startswith("HTTP/1.1 "):
            found.append("?")
            break
        found.append(lines[0].split(" ")[1])
        length = 0
        for line in lines[1:]:
            field, _, value = line.partition(":")
            if field.lower() == "content-length" and method != "HEAD":
                length = int(value)
        stream = stream[length:]
    return found


host = f"Host: 127.0.0.1:{port}\r\n"
requests = [
    ("HEAD", f"HEAD /api/output HTTP/1.1\r\n{host}\r\n"),
    ("HEAD", f"HEAD /metrics HTTP/1.1\r\n{host}\r\n"),
    ("HEAD", f"HEAD /events HTTP/1.1\r\n{host}\r\n"),
    ("GET", f"GET /api/output HTTP/1.1\r\n{host}Connection: close\r\n\r\n"),
]
received = b""
with socket.create_connection(("127.0.0.1", port), timeout=TIMEOUT_S) as kept:
    # One at a time: each is sent once the head of the answer before it has come.
    for sent, (_, request) in enumerate(requests, start=1):
        kept.sendall(request.encode())
        while received.count(b"\r\n\r\n") < sent and (piece := kept.recv(4096)):
            received += piece
    while piece := kept.recv(4096):
        received += piece
print("heads", ",".join(statuses(received, [method for method, _ in requests])))
