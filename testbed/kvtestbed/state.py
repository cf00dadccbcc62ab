"""The testbed's state directory: scenario, request log, stored results, FTP log.

Log fields are written as received; only backslash, tab, CR and LF are escaped (as \\\\, \\t,
\\r, \\n) so that one record stays one line with tab-separated fields.
"""

import os
import re
import threading

from .scenario import Scenario

_ESCAPES = str.maketrans({"\\": "\\\\", "\t": "\\t", "\r": "\\r", "\n": "\\n"})


def escape_field(text):
    return text.translate(_ESCAPES)


class LineLog:
    """An append-only log shared by threads; each line is flushed before the caller goes on."""

    def __init__(self, path):
        self._lock = threading.Lock()
        self._file = open(path, "a", encoding="utf-8", buffering=1)

    def write(self, line):
        with self._lock:
            self._file.write(line + "\n")
            self._file.flush()

    def close(self):
        with self._lock:
            self._file.close()


class StateDir:
    def __init__(self, root):
        self.root = os.path.abspath(root)
        self.results_dir = os.path.join(self.root, "results")
        os.makedirs(self.results_dir, exist_ok=True)
        self.scenario_path = os.path.join(self.root, "scenario")
        self.requests = LineLog(os.path.join(self.root, "requests.log"))
        self.ftp_log = LineLog(os.path.join(self.root, "ftp.log"))
        self._result_lock = threading.Lock()
        # A reused state directory keeps its results: numbering goes on after the last one.
        numbers = [int(m.group(1)) for m in (re.fullmatch(r"(\d+)\.txt", n) for n in os.listdir(self.results_dir)) if m]
        self._last_result = max(numbers, default=0)

    def scenario(self):
        return Scenario.load(self.scenario_path)

    def log_request(self, method, target, cookie_header, body_length):
        cookie = "-" if cookie_header is None else escape_field(cookie_header)
        self.requests.write(f"{method}\t{escape_field(target)}\t{cookie}\t{body_length}")

    def store_result(self, upload, serial, itime):
        """Writes results/<n>.txt and returns n (from 1)."""
        lines = [f"auth_ok {int(upload.auth_ok)}", f"prefix_ok {int(upload.prefix_ok)}", f"cookie {upload.cookie}"]
        if upload.error:
            lines.append(f"error {upload.error}")
        lines += [f"serial {serial}", f"itime {itime}"]
        lines += [f"field {key} {escape_field(value)}" for key, value in upload.fields]
        with self._result_lock:
            self._last_result += 1
            n = self._last_result
            path = os.path.join(self.results_dir, f"{n}.txt")
            with open(path + ".tmp", "w", encoding="utf-8") as f:
                f.write("\n".join(lines) + "\n")
            os.replace(path + ".tmp", path)
        return n

    def load_result_fields(self, n):
        """The stored `field` lines of result n as (key, value) pairs, or None when there is none."""
        try:
            with open(os.path.join(self.results_dir, f"{int(n)}.txt"), encoding="utf-8") as f:
                lines = f.read().splitlines()
        except (OSError, ValueError):
            return None
        fields = []
        for line in lines:
            if line.startswith("field "):
                key, _, value = line[len("field "):].partition(" ")
                fields.append((key, value))
            else:
                name, _, value = line.partition(" ")
                fields.append((f"({name})", value))
        return fields

    def close(self):
        self.requests.close()
        self.ftp_log.close()
