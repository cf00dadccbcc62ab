#include "net/http_exchange.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>

#include "net/charset.h"
#include "platform/clock.h"

namespace kivota {

HttpTimeouts postTimeouts(float rttAvg) {
    const long limit = rttAvg > 150.0f ? 15000 : 10000;
    return HttpTimeouts{3000, limit, limit, limit};
}

long connectLimitMs(const HttpTimeouts& t) { return t.resolveMs + t.connectMs; }

long silenceLimitMs(const HttpTimeouts& t, bool requestOut) { return requestOut ? t.receiveMs : t.sendMs; }

long exchangeLimitMs(const HttpTimeouts& t) { return t.resolveMs + t.connectMs + t.sendMs + t.receiveMs; }

std::string szCookieFromSetCookie(const std::string& setCookie) {
    const std::size_t start = setCookie.find_first_not_of(';');
    if (start == std::string::npos) return {};
    const std::size_t end = setCookie.find(';', start);
    return setCookie.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

namespace {

struct CurlEasyDeleter {
    void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct CurlSlistDeleter {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
struct CurlUrlDeleter {
    void operator()(CURLU* u) const { curl_url_cleanup(u); }
};

// How often the exchange looks at its silence clock while nothing moves.
constexpr int kWatchIntervalMs = 20;

// What the callbacks of one exchange share.
struct ExchangeProgress {
    std::string body;
    bool tooLarge = false;
    bool readReply = true;
    bool requestSent = false;  // the request line and headers went out
    bool wholeRequestTold = false;
    curl_off_t requestBodySize = 0;
    const HttpExchange* exchange = nullptr;

    // The silence clock: it runs while a connection stands (not while one is being made, which
    // the connect limit bounds) and restarts with every byte sent or received.
    HttpTimeouts timeouts;
    bool connected = false;
    std::int64_t lastByteMs = 0;
    curl_off_t lastUploaded = 0;

    void vByteMoved() { lastByteMs = iSteadyMs(); }
};

std::size_t onBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* p = static_cast<ExchangeProgress*>(user);
    const std::size_t n = size * count;
    p->vByteMoved();
    if (!p->readReply) return n;  // not examined
    if (p->body.size() + n > kMaxReplyBytes) {
        p->tooLarge = true;
        return 0;  // aborts the transfer
    }
    p->body.append(data, n);
    return n;
}

std::size_t onHeader(char*, std::size_t size, std::size_t count, void* user) {
    static_cast<ExchangeProgress*>(user)->vByteMoved();
    return size * count;
}

int onDebug(CURL*, curl_infotype type, char*, std::size_t, void* user) {
    if (type == CURLINFO_HEADER_OUT) static_cast<ExchangeProgress*>(user)->requestSent = true;
    return 0;
}

// A new connection is being made (also one a redirect needs): the silence clock waits for it.
int onSocketOpened(void* user, curl_socket_t, curlsocktype) {
    static_cast<ExchangeProgress*>(user)->connected = false;
    return CURL_SOCKOPT_OK;
}

// The connection stands and the request goes out now.
int onRequestStarts(void* user, char*, char*, int, int) {
    auto* p = static_cast<ExchangeProgress*>(user);
    p->connected = true;
    p->lastUploaded = 0;
    p->vByteMoved();
    return CURL_PREREQFUNC_OK;
}

// Called at every pass over the exchange's socket (see ePerformWatched). It tells once that the
// whole request is out; without readReply the exchange ends there; a cancelled one ends at once;
// otherwise it ends when nothing has moved for the limit of its direction.
int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulNow) {
    auto* p = static_cast<ExchangeProgress*>(user);
    const bool wholeRequest = p->requestSent && ulNow >= p->requestBodySize;
    if (wholeRequest && !p->wholeRequestTold) {
        p->wholeRequestTold = true;
        if (p->exchange->onRequestSent) p->exchange->onRequestSent();
    }
    if (!p->readReply && wholeRequest) return 1;
    if (p->exchange->cancelled && p->exchange->cancelled()) return 1;
    if (ulNow != p->lastUploaded) {
        p->lastUploaded = ulNow;
        p->vByteMoved();
    }
    if (!p->connected) return 0;
    return iSteadyMs() - p->lastByteMs < silenceLimitMs(p->timeouts, ulNow >= p->requestBodySize) ? 0 : 1;
}

// Runs the exchange on a multi handle of its own, passing over its socket at least every
// kWatchIntervalMs, so that the silence clock is read that often (libcurl's own loop may sleep
// a second on a quiet line).
CURLcode ePerformWatched(CURL* h) {
    CURLM* multi = curl_multi_init();
    if (!multi) return CURLE_OUT_OF_MEMORY;
    CURLMcode mc = curl_multi_add_handle(multi, h);
    int running = 1;
    while (mc == CURLM_OK) {
        mc = curl_multi_perform(multi, &running);
        if (mc != CURLM_OK || running == 0) break;
        mc = curl_multi_poll(multi, nullptr, 0, kWatchIntervalMs, nullptr);
    }
    CURLcode rc = mc == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_FAILED_INIT;
    int queued = 0;
    while (CURLMsg* m = curl_multi_info_read(multi, &queued)) {
        if (m->msg == CURLMSG_DONE && m->easy_handle == h) rc = m->data.result;
    }
    curl_multi_remove_handle(multi, h);
    curl_multi_cleanup(multi);
    return rc;
}

// The request can be opened: an absolute http or https URL.
bool bUrlOpens(const std::string& url) {
    std::unique_ptr<CURLU, CurlUrlDeleter> u(curl_url());
    if (!u || curl_url_set(u.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return false;
    char* scheme = nullptr;
    if (curl_url_get(u.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) return false;
    const std::string s = scheme;
    curl_free(scheme);
    return s == "http" || s == "https";
}

std::string szReplyText(std::string text) {
    for (char& c : text) {
        if (c == '\x1e') c = ';';
        else if (c == '\x1f') c = '=';
    }
    return text;
}

}  // namespace

bool bHttpExchange(const HttpExchange& ex, std::string& cookie, std::string& reply) {
    std::unique_ptr<CURL, CurlEasyDeleter> handle(curl_easy_init());
    if (!handle || !bUrlOpens(ex.url)) return false;
    CURL* h = handle.get();

    ExchangeProgress progress;
    progress.readReply = ex.readReply;
    progress.requestBodySize = ex.hasBody ? static_cast<curl_off_t>(ex.body.size()) : 0;
    progress.timeouts = ex.timeouts;
    progress.exchange = &ex;

    curl_easy_setopt(h, CURLOPT_URL, ex.url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, connectLimitMs(ex.timeouts));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, exchangeLimitMs(ex.timeouts));
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxReplyBytes));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &progress);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &progress);
    curl_easy_setopt(h, CURLOPT_SOCKOPTFUNCTION, onSocketOpened);
    curl_easy_setopt(h, CURLOPT_SOCKOPTDATA, &progress);
    curl_easy_setopt(h, CURLOPT_PREREQFUNCTION, onRequestStarts);
    curl_easy_setopt(h, CURLOPT_PREREQDATA, &progress);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &progress);
    if (!ex.readReply || ex.onRequestSent) {
        // The debug hook is the one place libcurl reports that the request went out.
        curl_easy_setopt(h, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(h, CURLOPT_DEBUGFUNCTION, onDebug);
        curl_easy_setopt(h, CURLOPT_DEBUGDATA, &progress);
    }

    curl_slist* raw = nullptr;
    if (ex.hasBody || !ex.isGet) {
        if (ex.hasBody) raw = curl_slist_append(raw, (std::string("Content-Type: ") + kFormContentType).c_str());
        raw = curl_slist_append(raw, "Expect:");  // send the body at once, no 100-continue round
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, progress.requestBodySize);
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, ex.hasBody ? ex.body.c_str() : "");
        if (ex.isGet) curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, "GET");
    } else {
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    }
    if (!cookie.empty()) {
        cookie.push_back(' ');
        raw = curl_slist_append(raw, ("Cookie: " + cookie).c_str());
        if (!raw) return false;
    }
    std::unique_ptr<curl_slist, CurlSlistDeleter> headers(raw);
    if (headers) curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());

    const CURLcode rc = ePerformWatched(h);
    if (!ex.readReply) return true;  // the outcome of the send is not examined
    if (rc != CURLE_OK || progress.tooLarge) return false;

    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    if (status >= 400) return false;

    const char* contentType = nullptr;
    curl_easy_getinfo(h, CURLINFO_CONTENT_TYPE, &contentType);
    std::optional<std::string> text = optDecodeReplyBody(progress.body, contentType);
    if (!text) return false;

    if (ex.takeCookie) {
        curl_header* setCookie = nullptr;
        if (curl_easy_header(h, "Set-Cookie", 0, CURLH_HEADER, -1, &setCookie) == CURLHE_OK && setCookie) {
            cookie = szCookieFromSetCookie(setCookie->value);
        }
    }
    reply = std::move(*text);
    return true;
}

std::optional<std::string> optDecodeReplyBody(std::string_view body, const char* contentType) {
    std::string charset = contentType ? charsetOfContentType(contentType) : std::string();
    if (charset.empty()) charset = kCharsetUtf8;
    std::optional<std::string> text = toUtf8(body, charset);
    if (!text) return std::nullopt;
    return szReplyText(std::move(*text));
}

bool httpRequest(const std::string& url, bool isGet, bool readReply, bool takeCookie, std::string& cookie,
                 std::string& reply) {
    return httpRequest(url, isGet, readReply, takeCookie, cookie, reply, {});
}

bool httpPost(const std::string& url, const std::string& body, bool isGet, bool readReply, bool takeCookie,
              std::string& cookie, float rttAvg, std::string& reply) {
    return httpPost(url, body, isGet, readReply, takeCookie, cookie, rttAvg, reply, {}, {});
}

bool httpRequest(const std::string& url, bool isGet, bool readReply, bool takeCookie, std::string& cookie,
                 std::string& reply, const std::function<bool()>& cancelled) {
    HttpExchange ex;
    ex.cancelled = cancelled;
    ex.url = url;
    ex.isGet = isGet;
    ex.timeouts = kRequestTimeouts;
    ex.readReply = readReply;
    ex.takeCookie = takeCookie;
    return bHttpExchange(ex, cookie, reply);
}

bool httpPost(const std::string& url, const std::string& body, bool isGet, bool readReply, bool takeCookie,
              std::string& cookie, float rttAvg, std::string& reply, const std::function<bool()>& cancelled,
              const std::function<void()>& onRequestSent) {
    HttpExchange ex;
    ex.cancelled = cancelled;
    ex.onRequestSent = onRequestSent;
    ex.url = url;
    ex.isGet = isGet;
    ex.hasBody = true;
    ex.body = body;
    ex.timeouts = postTimeouts(rttAvg);
    ex.readReply = readReply;
    ex.takeCookie = takeCookie;
    return bHttpExchange(ex, cookie, reply);
}

}  // namespace kivota
