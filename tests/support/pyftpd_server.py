"""A real FTP server for the integration tests.

Serves one folder to one user on 127.0.0.1 with a port the system picks, and prints
"PORT <n>" on stdout once it listens. Stopped with SIGTERM.
"""
import argparse
import logging
import signal
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--log", default=None)
    args = parser.parse_args()

    logging.basicConfig(filename=args.log, level=logging.INFO)
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.banner = "pyftpdlib ready."
    handler.auth_failed_timeout = 0.2
    server = FTPServer(("127.0.0.1", 0), handler)
    signal.signal(signal.SIGTERM, lambda *_: server.close_all() or sys.exit(0))
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
