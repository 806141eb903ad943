"""One request to the HTTP face through requests, as a script on the bench would send it; prints
"status N" and "text BODY".

Usage: /usr/bin/python3 web_request.py METHOD URL [--data BODY] [--header "NAME: VALUE"]...
"""
import argparse

import requests

# Only against a hang: the test fails on a missing answer, not on a slow one.
TIMEOUT_S = 10

parser = argparse.ArgumentParser()
parser.add_argument("method")
parser.add_argument("url")
parser.add_argument("--data")
parser.add_argument("--header", action="append", default=[])
arguments = parser.parse_args()
headers = dict(header.split(": ", 1) for header in arguments.header)
answer = requests.request(
    arguments.method,
    arguments.url,
    data=None if arguments.data is None else arguments.data.encode(),
    headers=headers,
    timeout=TIMEOUT_S,
)
print("status", answer.status_code)
print("text", answer.text.replace("\n", " "))
