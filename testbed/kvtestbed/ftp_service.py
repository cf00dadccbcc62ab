"""The operator's FTP test server: a large download file and a writable uploads/ directory."""

import errno
import itertools
import os
import socket
import sys
import warnings

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer

DOWNLOAD_FILES = {"test_2048m.zip": 2 << 30, "test.zip": 1 << 20}
UPLOAD_DIR = "uploads"
NAMED_USER, NAMED_PASSWORD = "kivota", "kivota-pass"
READ_PERMS, UPLOAD_PERMS = "elr", "elrw"
BUFFER_SIZE = 256 * 1024
# An upload keeps this much real data; the rest of the file is left sparse (size exact, no disk).
KEPT_UPLOAD_BYTES = 1 << 20
_CLIENT_GONE = (errno.EPIPE, errno.ECONNRESET, errno.ECONNABORTED, errno.ENOTCONN)


def prepare_root(root):
    """Creates the download files (the large one sparse) and the uploads directory."""
    os.makedirs(os.path.join(root, UPLOAD_DIR), exist_ok=True)
    for name, size in DOWNLOAD_FILES.items():
        path = os.path.join(root, name)
        if os.path.exists(path) and os.path.getsize(path) == size:
            continue
        with open(path, "wb") as f:
            if size <= KEPT_UPLOAD_BYTES:
                f.write(os.urandom(size))
            else:
                f.truncate(size)


class SparseTailWriter:
    """File object for an upload that stores its first bytes and only the length of the rest.

    Transfers run for as long as the client likes at whatever speed the link gives; keeping
    every byte would fill the disk, while the file's size still tells what arrived.
    """

    def __init__(self, f):
        self._f = f
        self._size = 0

    def write(self, data):
        keep = KEPT_UPLOAD_BYTES - self._size
        if keep > 0:
            self._f.write(data[:keep])
        self._size += len(data)
        return len(data)

    def close(self):
        if not self._f.closed:
            self._f.truncate(self._size)
            self._f.close()

    def __getattr__(self, name):  # name, closed, fileno, ...
        return getattr(self._f, name)


class TestbedFS(AbstractedFS):
    def open(self, filename, mode):
        f = super().open(filename, mode)
        return SparseTailWriter(f) if mode.startswith("w") else f


class TestbedDTPHandler(DTPHandler):
    ac_in_buffer_size = BUFFER_SIZE
    ac_out_buffer_size = BUFFER_SIZE

    def handle_error(self):
        err = sys.exc_info()[1]
        gone = isinstance(err, (ConnectionError, socket.error)) and getattr(err, "errno", None) in _CLIENT_GONE
        if not gone:
            self.cmd_channel.transfer_failed = True
        super().handle_error()


class TestbedFTPHandler(FTPHandler):
    dtp_handler = TestbedDTPHandler
    abstracted_fs = TestbedFS
    banner = "Kivota testbed FTP ready."
    auth_failed_timeout = 0.5  # pyftpdlib's 3 s pause after a failed login only slows the tests
    ftp_log = None  # a state.LineLog, set by make_ftp_server
    _sessions = itertools.count(1)

    def __init__(self, conn, server, ioloop=None):
        self.session_id = next(self._sessions)
        self.transfer_failed = False
        super().__init__(conn, server, ioloop)

    def pre_process_command(self, line, cmd, arg):
        shown = "PASS ****" if cmd == "PASS" else line
        special = cmd[-4:]
        if special in ("ABOR", "STAT", "QUIT") and cmd != special:
            # Sent after Telnet IP and Synch, whose bytes decode to replacement marks.
            shown = f"{special} (after Telnet IP and Synch)"
        self.ftp_log.write(f"{self.session_id}\t{shown}")
        super().pre_process_command(line, cmd, arg)

    def ftp_USER(self, line):
        # "ftp" is the other customary anonymous name; the authorizer knows only "anonymous".
        super().ftp_USER("anonymous" if line.lower() in ("ftp", "anonymous") else line)

    def log_transfer(self, cmd, filename, receive, completed, elapsed, bytes):
        outcome = "failed" if self.transfer_failed else "completed" if completed else "aborted"
        self.transfer_failed = False
        self.ftp_log.write(f"{self.session_id}\tEND {cmd} {bytes} {outcome}")
        super().log_transfer(cmd, filename, receive, completed, elapsed, bytes)


def make_authorizer(root):
    authorizer = DummyAuthorizer()
    uploads = os.path.join(root, UPLOAD_DIR)
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", RuntimeWarning)  # write access for anonymous is intended
        authorizer.add_anonymous(root, perm=READ_PERMS)
        authorizer.override_perm("anonymous", uploads, UPLOAD_PERMS, recursive=True)
    authorizer.add_user(NAMED_USER, NAMED_PASSWORD, root, perm=READ_PERMS)
    authorizer.override_perm(NAMED_USER, uploads, UPLOAD_PERMS, recursive=True)
    return authorizer


def make_ftp_server(bind, port, root, ftp_log):
    prepare_root(root)
    handler = type("BoundTestbedFTPHandler", (TestbedFTPHandler,), {})
    handler.authorizer = make_authorizer(os.path.abspath(root))
    handler.ftp_log = ftp_log
    handler.passive_ports = None  # the OS picks each passive port
    server = FTPServer((bind, port), handler)
    server.max_cons = 256
    server.max_cons_per_ip = 256
    return server
