"""The operator's HTTP server: configuration replies, notifications, result upload and pages."""

import random
import secrets
import string
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlsplit

from . import pages
from .pairs import apply_scenario, encode_pairs
from .result_code import COOKIE_NAME, read_result_upload

AGREEMENT = (
    "Vantrel寬頻測速軟體使用同意書\n"
    "一、本軟體僅供Vantrel寬頻用戶測試連線速率之用。\n"
    "二、測試期間將收集您電腦之作業系統、網路卡及網路設定等資訊，僅供分析測速結果之用。\n"
    "三、測試結果受電腦效能、無線網路及同時執行之程式影響，僅供參考。\n"
    "請按「同意」開始測試。"
)

# Scenario sub-keys of a reply endpoint that are not wire names.
_RESERVED = {"omit", "status", "stall", "stall_body", "raw", "pad", "omit_result_url"}
_COOKIE_ALPHABET = string.ascii_letters + string.digits
_MAX_BODY = 1 << 20


def config_defaults(host):
    return [
        ("ver_server", "0.93"),
        ("ver_min", "0.90"),
        ("Update_URL", f"http://{host}/kivota/update"),
        ("Ad_URL1", f"http://{host}/kivota/ad1"),
        ("Ad_URL2", f"http://{host}/kivota/ad2"),
        ("Ad_End_URL", "NULL"),
        ("Info_URL", f"http://{host}/kivota/info"),
        ("announcement", "EMPTY"),
        ("agreement", AGREEMENT),
    ]


def testparam_defaults(ftp_server, host):
    return [
        ("test_permission", "T"),
        ("url", ftp_server),
        ("uid", "ftp"),
        ("pwd", "kivota"),
        ("ul_duration", "10"),
        ("dl_duration", "10"),
        ("timeout", "30"),
        ("ul_session", "4"),
        ("dl_session", "4"),
        ("user_rate", "102400,20480"),
        ("dl_path", "/test_2048m.zip"),
        ("ul_path", "/uploads"),
        ("report_url", f"http://{host}/kivota/report"),
        ("HotFix", ""),
    ]


class TestbedHTTPServer(ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, address, state, ftp_port):
        super().__init__(address, TestbedHTTPHandler)
        self.state = state
        self.ftp_port = ftp_port


class TestbedHTTPHandler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "KivotaTestbed/1.0"

    def version_string(self):
        return self.server_version

    def log_message(self, format, *args):  # requests.log is the record; keep stderr quiet
        pass

    def do_GET(self):
        self._dispatch("GET")

    def do_POST(self):
        self._dispatch("POST")

    # --- request plumbing

    def _dispatch(self, method):
        body = self._read_body()
        if body is None:
            return
        cookies = self.headers.get_all("Cookie")
        cookie_header = None if cookies is None else "; ".join(cookies)
        self.server.state.log_request(method, self.path, cookie_header, len(body))
        self.scenario = self.server.state.scenario()
        self.cookie_header = cookie_header
        self.body_stall = 0.0  # set by the endpoint's scenario (a connection serves many requests)
        route = _ROUTES.get((method, urlsplit(self.path).path))
        try:
            if route is None:
                self._send(404, pages.not_found_page(), "text/html; charset=utf-8")
            else:
                route(self, body)
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True  # the client gave up (its time-out during a stall)

    def _read_body(self):
        try:
            length = int(self.headers.get("Content-Length") or 0)
        except ValueError:
            length = -1
        if length < 0 or length > _MAX_BODY:
            self.send_error(400 if length < 0 else 413)
            return None
        return self.rfile.read(length) if length else b""

    def _host(self):
        """The Host header of the request, or the address it arrived on."""
        host = self.headers.get("Host")
        if host:
            return host
        ip, port = self.connection.getsockname()[:2]
        return ip if port == 80 else f"{ip}:{port}"

    def _local_ip(self):
        return self.connection.getsockname()[0]

    def _ftp_server(self):
        port = self.server.ftp_port
        return self._local_ip() if port == 21 else f"{self._local_ip()}:{port}"

    def _placeholders(self, text):
        return text.replace("{host}", self._host()).replace("{ip}", self._local_ip()).replace("{ftp}", self._ftp_server())

    def _send(self, status, text, content_type, extra_headers=(), charset="utf-8"):
        data = text.encode(charset, errors="replace")
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(data)))
        for name, value in extra_headers:
            self.send_header(name, value)
        self.end_headers()
        if self.body_stall:
            self.wfile.flush()  # the headers go out, then nothing for a while
            time.sleep(self.body_stall)
        self.wfile.write(data)
        self.wfile.flush()

    def _forced_status(self, endpoint):
        """Waits out the endpoint's stall; True when a forced status has been sent instead of the reply."""
        stall = self.scenario.stall(endpoint)
        if stall:
            time.sleep(stall)  # this request's own thread; other requests go on
        self.body_stall = self.scenario.body_stall(endpoint)
        status = self.scenario.status(endpoint)
        if status is None:
            return False
        self._send(status, "", "text/plain; charset=utf-8")
        return True

    def _send_pairs(self, endpoint, pairs, extra_headers=()):
        raw = self.scenario.raw(endpoint)
        text = self._placeholders(raw) if raw is not None else encode_pairs(pairs)
        charset = (self.scenario.get("charset") or "utf-8").strip().lower()
        if charset not in ("utf-8", "big5"):
            charset = "utf-8"
        self._send(200, text, f"text/plain; charset={charset}", extra_headers, charset=charset)

    def _scenario_pairs(self, endpoint, defaults):
        return [(name, self._placeholders(value)) for name, value in apply_scenario(defaults, self.scenario, endpoint, _RESERVED)]

    # --- endpoints

    def _config(self, _body):
        if self._forced_status("config"):
            return
        pairs = self._scenario_pairs("config", config_defaults(self._host()))
        pad = int(self.scenario.number("config.pad"))
        if pad > 0:
            pairs.append(("pad", "x" * pad))
        headers = []
        if not self.scenario.flag("cookie.none"):
            value = self.scenario.get("cookie") or "".join(secrets.choice(_COOKIE_ALPHABET) for _ in range(24))
            headers.append(("Set-Cookie", f"{COOKIE_NAME}={value}; path=/"))
        self._send_pairs("config", pairs, headers)

    def _testparam(self, _body):
        if self._forced_status("testparam"):
            return
        self._send_pairs("testparam", self._scenario_pairs("testparam", testparam_defaults(self._ftp_server(), self._host())))

    def _empty(self, endpoint):
        if not self._forced_status(endpoint):
            self._send(200, "", "text/plain; charset=utf-8")

    def _result(self, body):
        upload = read_result_upload(body, self.cookie_header)
        serial = "KV%08d" % random.randrange(10**8)
        itime = time.strftime("%Y-%m-%d %H:%M:%S", time.localtime())
        n = self.server.state.store_result(upload, serial, itime)
        if self._forced_status("result"):
            return
        pairs = [] if self.scenario.flag("result.omit_result_url") else [("result_url", f"http://{self._host()}/kivota/report?id={n}")]
        pairs += [("flags", serial), ("itime", itime)]
        self._send_pairs("result", self._scenario_pairs("result", pairs))

    def _page(self, text):
        self._send(200, text, "text/html; charset=utf-8")

    def _report(self, _body):
        ids = parse_qs(urlsplit(self.path).query).get("id", [""])
        fields = self.server.state.load_result_fields(ids[0]) if ids[0].isdigit() else None
        if fields is None:
            self._send(404, pages.not_found_page(), "text/html; charset=utf-8")
        else:
            self._page(pages.report_page(ids[0], fields))


_ROUTES = {
    ("GET", "/kivota/config"): TestbedHTTPHandler._config,
    ("GET", "/kivota/testparam"): TestbedHTTPHandler._testparam,
    ("GET", "/kivota/notify1"): lambda h, _b: h._empty("notify1"),
    ("GET", "/kivota/notify2"): lambda h, _b: h._empty("notify2"),
    ("GET", "/kivota/keepalive"): lambda h, _b: h._empty("keepalive"),
    ("POST", "/kivota/result"): TestbedHTTPHandler._result,
    ("GET", "/kivota/ad1"): lambda h, _b: h._page(pages.ad_wide()),
    ("GET", "/kivota/ad2"): lambda h, _b: h._page(pages.ad_tall()),
    ("GET", "/kivota/info"): lambda h, _b: h._page(pages.setup_document()),
    ("GET", "/kivota/end"): lambda h, _b: h._page(pages.end_page()),
    ("GET", "/kivota/update"): lambda h, _b: h._page(pages.update_page()),
    ("GET", "/kivota/report"): TestbedHTTPHandler._report,
}
