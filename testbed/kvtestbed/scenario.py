"""Per-test behaviour of the testbed, read from DIR/scenario at every request.

Each line is `key value`: the key is the first word, the value the rest of the line (may be
empty). Blank lines and lines starting with '#' are ignored. A later line with the same key
replaces an earlier one.
"""

import re

_LINE = re.compile(r"^(\S+)(?:[ \t]+(.*))?$")
_SEPARATORS = ((re.compile(r"\\x1f", re.IGNORECASE), "\x1f"), (re.compile(r"\\x1e", re.IGNORECASE), "\x1e"))


class Scenario:
    def __init__(self, entries=None):
        self._entries = dict(entries or {})

    @classmethod
    def parse(cls, text):
        entries = {}
        for raw in text.splitlines():
            line = raw.rstrip("\r\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            match = _LINE.match(line)
            if match:
                entries[match.group(1)] = match.group(2) or ""
        return cls(entries)

    @classmethod
    def load(cls, path):
        try:
            with open(path, encoding="utf-8") as f:
                return cls.parse(f.read())
        except FileNotFoundError:
            return cls()

    def get(self, key, default=None):
        return self._entries.get(key, default)

    def has(self, key):
        return key in self._entries

    def flag(self, key):
        return self._entries.get(key, "").strip() not in ("", "0")

    def number(self, key, default=0.0):
        try:
            return float(self._entries[key])
        except (KeyError, ValueError):
            return default

    def status(self, endpoint):
        """The forced HTTP status of an endpoint (`<endpoint>.status`), or None."""
        try:
            code = int(self._entries.get(endpoint + ".status", ""))
        except ValueError:
            return None
        return code if 100 <= code <= 599 else None

    def stall(self, endpoint):
        return max(0.0, self.number(endpoint + ".stall"))

    def body_stall(self, endpoint):
        """Seconds between the reply's headers and its body (`<endpoint>.stall_body`)."""
        return max(0.0, self.number(endpoint + ".stall_body"))

    def omitted(self, endpoint):
        items = self._entries.get(endpoint + ".omit", "")
        return {name.strip() for name in items.split(",") if name.strip()}

    def overrides(self, endpoint, reserved):
        """`<endpoint>.<Name> value` lines, Name as on the wire, in file order."""
        prefix = endpoint + "."
        return {
            key[len(prefix):]: value
            for key, value in self._entries.items()
            if key.startswith(prefix) and key[len(prefix):] not in reserved
        }

    def raw(self, endpoint):
        """`<endpoint>.raw` with the escapes \\x1f and \\x1e turned into the separators, or None."""
        text = self._entries.get(endpoint + ".raw")
        if text is None:
            return None
        for pattern, separator in _SEPARATORS:
            text = pattern.sub(separator, text)
        return text
