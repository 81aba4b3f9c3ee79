"""A real FTP server for the integration tests.

Serves one folder to one user on 127.0.0.1 (or the --address given, "::1" say) with a
port the system picks, and prints
"PORT <n>" on stdout once it listens. Stopped with SIGTERM.
"""
import argparse
import logging
import os
import re
import signal
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer


class LinkReportingFS(AbstractedFS):
    """Machine listings that name symbolic links as such instead of following them."""

    def format_mlsx(self, basedir, listing, perms, facts, ignore_err=True):
        for line in super().format_mlsx(basedir, listing, perms, facts, ignore_err):
            text = line.decode("utf8", "surrogateescape")
            name = text.split(" ", 1)[1].rstrip("\r\n")
            if os.path.islink(os.path.join(basedir, name)):
                text = re.sub(r"type=[^;]*;", "type=OS.unix=symlink;", text, count=1)
            yield text.encode("utf8", "surrogateescape")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--log", default=None)
    parser.add_argument("--mlsd-links", action="store_true",
                        help="name symbolic links in MLSD as OS.unix=symlink")
    parser.add_argument("--tls-cert", default=None)
    parser.add_argument("--address", default="127.0.0.1")
    args = parser.parse_args()

    logging.basicConfig(filename=args.log, level=logging.INFO)
    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    handler = FTPHandler
    if args.tls_cert:
        from pyftpdlib.handlers import TLS_FTPHandler
        handler = TLS_FTPHandler
        handler.certfile = args.tls_cert
        handler.tls_control_required = True
        handler.tls_data_required = True
    handler.authorizer = authorizer
    handler.banner = "pyftpdlib ready."
    handler.auth_failed_timeout = 0.2
    if args.mlsd_links:
        handler.abstracted_fs = LinkReportingFS
    server = FTPServer((args.address, 0), handler)
    signal.signal(signal.SIGTERM, lambda *_: server.close_all() or sys.exit(0))
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever(handle_exit=True)


if __name__ == "__main__":
    main()
