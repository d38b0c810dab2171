#!/usr/bin/python3
"""One call of Orthanc's REST API on localhost; prints the answer's body.
Usage: orthanc_rest.py PORT METHOD PATH [BODY | @FILE]   (exit 1 on an HTTP or network error)"""
import sys
import urllib.error
import urllib.request

port, method, path = sys.argv[1:4]
body = None
if len(sys.argv) > 4:
    arg = sys.argv[4]
    if arg.startswith("@"):
        with open(arg[1:], "rb") as f:
            body = f.read()
    else:
        body = arg.encode()
request = urllib.request.Request("http://127.0.0.1:%s%s" % (port, path), data=body, method=method)
try:
    with urllib.request.urlopen(request, timeout=60) as answer:
        sys.stdout.write(answer.read().decode())
except (urllib.error.URLError, OSError) as error:
    sys.stderr.write("%s\n" % error)
    sys.exit(1)
