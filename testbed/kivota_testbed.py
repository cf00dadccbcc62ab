#!/usr/bin/python3
"""The operator's side of the speed test for tests and the demo: HTTP and FTP servers.

Prints `READY http=<port> ftp=<port>` once both servers listen; ends cleanly on SIGTERM/SIGINT.
With --parent PID it also ends when that process does (however it ended) and removes its state
directory, so a test that is killed or crashes leaves nothing behind.
See testbed/README.md for the endpoints, the scenario file and the logs in the state directory.
"""

import argparse
import ctypes
import logging
import os
import shutil
import signal
import sys
import threading

from kvtestbed.ftp_service import make_ftp_server
from kvtestbed.http_service import TestbedHTTPServer
from kvtestbed.state import StateDir


def parse_args(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--state", required=True, help="state directory (created if missing)")
    parser.add_argument("--bind", default="127.0.0.1", help="address both servers listen on")
    parser.add_argument("--http-port", type=int, default=0, help="HTTP port, 0 = any free port")
    parser.add_argument("--ftp-port", type=int, default=0, help="FTP control port, 0 = any free port")
    parser.add_argument("--ftp-root", help="FTP root directory (default STATE/ftproot)")
    parser.add_argument("--parent", type=int, help="end with this process and remove the state directory")
    return parser.parse_args(argv)


_PR_SET_PDEATHSIG = 1


def _end_with_parent(parent):
    """Asks the kernel for SIGTERM when the parent ends; False when it has already ended."""
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.prctl(_PR_SET_PDEATHSIG, signal.SIGTERM, 0, 0, 0) != 0:
        raise OSError(ctypes.get_errno(), "prctl(PR_SET_PDEATHSIG)")
    return os.getppid() == parent  # checked after the request, so no end can slip in between


def _exit_on_signal(signum, _frame):
    raise SystemExit(128 + signum)


def main(argv):
    args = parse_args(argv)
    logging.basicConfig(level=logging.WARNING, format="testbed: %(message)s")
    signal.signal(signal.SIGTERM, _exit_on_signal)
    signal.signal(signal.SIGINT, _exit_on_signal)
    if args.parent is not None and not _end_with_parent(args.parent):
        shutil.rmtree(args.state, ignore_errors=True)
        return 1
    try:
        return _serve(args)
    finally:
        if args.parent is not None:
            shutil.rmtree(args.state, ignore_errors=True)


def _serve(args):
    state = StateDir(args.state)
    ftp = make_ftp_server(args.bind, args.ftp_port, args.ftp_root or os.path.join(state.root, "ftproot"), state.ftp_log)
    ftp_port = ftp.socket.getsockname()[1]
    http = TestbedHTTPServer((args.bind, args.http_port), state, ftp_port)
    http_thread = threading.Thread(target=http.serve_forever, kwargs={"poll_interval": 0.1}, name="http", daemon=True)
    http_thread.start()

    print(f"READY http={http.server_address[1]} ftp={ftp_port}", flush=True)
    try:
        # The FTP server's event loop runs on the main thread, where the signal handler raises
        # SystemExit; serve_forever then closes every FTP connection.
        ftp.serve_forever(timeout=0.5, handle_exit=True)
    finally:
        http.shutdown()
        http.server_close()
        http_thread.join(timeout=5)
        state.close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
