"""The FTP server of "tarnwick --demo".

Serves one folder to one user on 127.0.0.1 with a port the system picks. The password comes
as the first line of standard input, so that it never shows in the process list. Prints
"PORT <n>" on standard output once it listens, or "MISSING pyftpdlib" (exit status 3) when
Python's pyftpdlib is not installed. Stops on SIGTERM, SIGINT, and when standard input is
closed: the program that started it has ended, however it ended.
"""
import argparse
import logging
import os
import signal
import sys
import threading

try:
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import FTPHandler
    from pyftpdlib.servers import FTPServer
except ImportError:
    print("MISSING pyftpdlib", flush=True)
    sys.exit(3)

ALL_PERMISSIONS = "elradfmwMT"


def stop_when_stdin_closes():
    """Ends the server (through SIGTERM, in the main thread) once standard input is closed."""
    while sys.stdin.buffer.read(4096):
        pass
    os.kill(os.getpid(), signal.SIGTERM)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    args = parser.parse_args()
    password = sys.stdin.readline().rstrip("\n")
    if not password:
        print("no password on standard input", file=sys.stderr)
        sys.exit(2)

    logging.basicConfig(level=logging.WARNING)
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, password, args.root, perm=ALL_PERMISSIONS)
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.banner = "Tarnwick demo server ready."
    server = FTPServer(("127.0.0.1", 0), handler)

    def stop(*_):
        server.close_all()
        sys.stdout.flush()
        # Not sys.exit: the thread blocked on standard input would stall the interpreter's
        # shutdown.
        os._exit(0)

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    threading.Thread(target=stop_when_stdin_closes, daemon=True).start()
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
