"""An FTP server for the tests: pyftpdlib on 127.0.0.1 (or --listen), on a port the system
chooses, written to --port-file once the server listens.

Started by FtpServer (ftp_server.cpp) with the Debian interpreter, which sees
Debian's python3-pyftpdlib. It ends on SIGTERM.
"""

import argparse
import logging
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--anonymous", action="store_true")
    parser.add_argument("--banner", help="greeting text; one 220 line per line of it")
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--listen", default="127.0.0.1", help="the address to listen on")
    parser.add_argument("--cut-data-after", type=int, default=0,
                        help="drop every data connection after this many bytes")
    args = parser.parse_args()

    logging.basicConfig(level=logging.INFO, stream=sys.stderr,
                        format="%(asctime)s %(levelname)s %(message)s")

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elr")
    if args.anonymous:
        authorizer.add_anonymous(args.root, perm="elr")

    class Handler(FTPHandler):
        def handle(self):
#pyftpdlib sends a one - line banner as it is; a banner of several
#lines becomes a proper multi - line reply : 220 - first... 220 last.
            if args.banner is None or "\n" not in args.banner:
                super().handle()
                return
            self.on_connect()
            if not self._closed and not self._closing:
                lines = args.banner.split("\n")
                for line in lines[:-1]:
                    self.push("220-%s\r\n" % line)
                self.respond("220 %s" % lines[-1])

    class CuttingDTPHandler(DTPHandler):
#Sends through send() only, so the byte count sees everything.
        def use_sendfile(self):
            return False

        def __init__(self, sock, cmd_channel):
            super().__init__(sock, cmd_channel)
            self.sent_so_far = 0

        def send(self, data):
            room = args.cut_data_after - self.sent_so_far
            sent = super().send(data[:room])
            self.sent_so_far += sent
            if self.sent_so_far >= args.cut_data_after:
#The link breaks : the server reports the aborted transfer.
                self.cmd_channel.respond("426 Connection closed; transfer aborted.")
                self.close()
            return sent

    if args.cut_data_after > 0:
        Handler.dtp_handler = CuttingDTPHandler

    Handler.authorizer = authorizer
#A wrong password is answered at once, not after pyftpdlib's 3 s delay.
    Handler.auth_failed_timeout = 0
#Active mode only to the address the control connection came from.
    Handler.permit_foreign_addresses = False
    if args.banner is not None:
        Handler.banner = args.banner

    server = FTPServer((args.listen, 0), Handler)
#Written whole, then renamed, so the reader never sees half a number.
    partial = args.port_file + ".partial"
    with open(partial, "w") as out:
        out.write("%d\n" % server.address[1])
    os.replace(partial, args.port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
