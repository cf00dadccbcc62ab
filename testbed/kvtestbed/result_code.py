"""Reading the scrambled result upload.

The client sends `code=<hex>`: the UTF-16LE bytes of "Null=<digits>&<query>", each XOR-ed
with a key taken from the session cookie, as lower-case hexadecimal. The query is a plain
`key=value&key=value` line (values are not URL-encoded) whose `auth_code` is the MD5 of the
client's address in letters, the address length and the cookie value.
"""

import hashlib
import re
from dataclasses import dataclass, field

COOKIE_NAME = "KVSID"
_PREFIX = re.compile(r"Null=\d+")
_ADDRESS_LETTERS = {".": "A", "0": "K", **{str(d): chr(ord("A") + d) for d in range(1, 10)}}


def cookie_value(cookie_header, name=COOKIE_NAME):
    """The value of cookie `name` in a Cookie header. The client appends a blank to its cookie
    at every request, so trailing blanks are not part of the value."""
    if not cookie_header:
        return ""
    for item in cookie_header.split(";"):
        key, sep, value = item.strip().partition("=")
        if sep and key == name:
            return value.rstrip(" \t")
    return ""


def pick_key(cookie):
    """Every third character of the cookie value, starting with the fourth."""
    return cookie[3::3]


def auth_code(local_ip, cookie):
    """The expected auth_code, or None when the address has characters without a letter."""
    try:
        letters = "".join(_ADDRESS_LETTERS[c] for c in local_ip)
    except KeyError:
        return None
    return hashlib.md5(f"{letters}{len(local_ip)}{cookie}".encode("utf-8")).hexdigest()


def descramble(hex_text, key):
    """The plain bytes of a scrambled hex text; ValueError when it cannot be read."""
    if not key:
        raise ValueError("cookie value too short to give a key")
    data = bytes.fromhex(hex_text)
    key_bytes = key.encode("latin-1")
    return bytes(b ^ key_bytes[i % len(key_bytes)] for i, b in enumerate(data))


def parse_query(query):
    """`key=value` items split at '&', each at its first '='; an item without '=' has an empty value."""
    fields = []
    for item in query.split("&"):
        if item == "":
            continue
        key, _, value = item.partition("=")
        fields.append((key, value))
    return fields


@dataclass
class ResultUpload:
    cookie: str = ""
    prefix_ok: bool = False
    auth_ok: bool = False
    error: str = ""
    fields: list = field(default_factory=list)

    def value(self, key, default=None):
        for name, value in self.fields:
            if name == key:
                return value
        return default


def _code_from_body(body):
    text = body.decode("ascii").strip()
    for item in text.split("&"):
        name, sep, value = item.partition("=")
        if sep and name == "code":
            return value
    raise ValueError("no code= in the body")


def read_result_upload(body, cookie_header):
    """Descrambles and checks one result upload; problems are reported in `error`, never raised."""
    upload = ResultUpload(cookie=cookie_value(cookie_header))
    try:
        plain = descramble(_code_from_body(body), pick_key(upload.cookie))
        if len(plain) % 2:
            raise ValueError("odd number of UTF-16 bytes")
        text = plain.decode("utf-16-le")
    except (ValueError, UnicodeDecodeError) as err:
        upload.error = str(err)
        return upload
    prefix, amp, query = text.partition("&")
    upload.prefix_ok = bool(amp) and _PREFIX.fullmatch(prefix) is not None
    upload.fields = parse_query(query if amp else text)
    expected = auth_code(upload.value("User_localip", ""), upload.cookie)
    upload.auth_ok = expected is not None and upload.value("auth_code") == expected
    return upload
