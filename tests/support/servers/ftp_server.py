#!/usr/bin/python3
"""An FTP server for the transfer tests and benchmarks, on a free loopback port.

Prints its port on the first line of standard output, then serves --root until
killed: the user "user" with the password "secret" may read and write, the
anonymous user may read. --rate throttles data connections (bytes per second);
--no-mlsd makes the server answer MLSD as an unknown command.
"""
import argparse
import logging

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--rate", type=int, default=0)
    parser.add_argument("--no-mlsd", action="store_true")
    args = parser.parse_args()
    logging.basicConfig(level=logging.ERROR)

    authorizer = DummyAuthorizer()
    authorizer.add_user("user", "secret", args.root, perm="elradfmwMT")
    authorizer.add_anonymous(args.root, perm="elr")

    class Handler(FTPHandler):
        pass

    Handler.authorizer = authorizer
    Handler.banner = "orvex test server"
    # Data connections from a range below the kernel's own, bound with address
    # reuse: a port the kernel picks stays taken for a minute after each transfer,
    # and thousands of transfers a minute would use up every one of them.
    Handler.passive_ports = range(20000, 32768)
    if args.no_mlsd:
        Handler.proto_cmds = {k: v for k, v in FTPHandler.proto_cmds.items() if k != "MLSD"}
    if args.rate:
        class Throttled(ThrottledDTPHandler):
            read_limit = args.rate
            write_limit = args.rate
        Handler.dtp_handler = Throttled

    server = FTPServer(("127.0.0.1", 0), Handler)
    print(server.address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
