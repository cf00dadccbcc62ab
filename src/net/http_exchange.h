#pragma once
// Synchronous HTTP exchanges with the operator's server: one fresh request per call, the
// session cookie carried from the first reply to every later request, and the reply turned
// from the server's name 0x1F value 0x1E pairs into name=value; text (see reply_parser.h).
//
// All calls block the calling thread for at most the exchange's time-outs. libcurl must have
// been initialised once before any thread starts (see curl_global.h).

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kivota {

// The four limits of an exchange, in milliseconds.
struct HttpTimeouts {
    long resolveMs = 0;
    long connectMs = 0;
    long sendMs = 0;
    long receiveMs = 0;
    bool operator==(const HttpTimeouts&) const = default;
};

inline constexpr HttpTimeouts kRequestTimeouts{3000, 10000, 10000, 10000};
inline constexpr HttpTimeouts kKeepAliveTimeouts{3000, 10000, 3000, 3000};

// The result upload waits longer on a slow line: 15 s for connect, send and receive when the
// mean echo time is strictly above 150 ms, else 10 s (an unmeasured -1 gives 10 s).
HttpTimeouts postTimeouts(float rttAvg);

// How the four limits map onto libcurl: name resolution and connecting form libcurl's connect
// phase, so they bound it together. The send and receive limits each mean that long without
// any byte moving: from the moment the connection stands, the exchange watches when a byte
// last went out or came in, headers included, and ends when the silence reaches the limit of
// the moment: the send limit while the request is on its way, the receive limit once it is
// out. (libcurl's low-speed check would not do: it averages over its last seconds, so a body
// just sent keeps it quiet for a while, and reply headers do not count for it.) The whole
// exchange is further bounded by the sum of all four, which catches a server that trickles a
// byte now and then.
long connectLimitMs(const HttpTimeouts& t);
long silenceLimitMs(const HttpTimeouts& t, bool requestOut);
long exchangeLimitMs(const HttpTimeouts& t);

// Replies are small; a reply above this bound is refused as a failed exchange, never cut.
inline constexpr std::size_t kMaxReplyBytes = std::size_t{1024} * 1024;

inline constexpr const char* kFormContentType = "application/x-www-form-urlencoded";

struct HttpExchange {
    std::string url;
    bool isGet = true;     // "GET", else "POST"
    bool hasBody = false;  // POST body (sent with the form Content-Type)
    std::string body;
    HttpTimeouts timeouts = kRequestTimeouts;
    bool readReply = true;    // false: send the request and return true without waiting for a reply
    bool takeCookie = false;  // store the reply's Set-Cookie (up to its first ';') in the cookie
    // Called once, on the calling thread, when the whole request (its body included) has gone out.
    std::function<void()> onRequestSent;
    // Asked at least once a second while the exchange runs: true ends it at once, as a failure.
    std::function<bool()> cancelled;
};

// The exchange itself. When `cookie` is not empty one space is appended to it (the space stays,
// so repeated requests without a new Set-Cookie carry one more each time) and it is sent as the
// "Cookie" header. With readReply: false on a connection failure, a time-out, an HTTP status of
// 400 or more, a reply over kMaxReplyBytes or one that is not valid in its declared charset,
// leaving `reply` untouched; otherwise `reply` is the body decoded to UTF-8 from the charset of
// its Content-Type (UTF-8 when none), with 0x1E turned into ';' and 0x1F into '='.
bool bHttpExchange(const HttpExchange& exchange, std::string& cookie, std::string& reply);

bool httpRequest(const std::string& url, bool isGet, bool readReply, bool takeCookie, std::string& cookie,
                 std::string& reply);
bool httpPost(const std::string& url, const std::string& body, bool isGet, bool readReply, bool takeCookie,
              std::string& cookie, float rttAvg, std::string& reply);
// The same exchanges, ended early when `cancelled` says so; `onRequestSent` as in HttpExchange.
bool httpRequest(const std::string& url, bool isGet, bool readReply, bool takeCookie, std::string& cookie,
                 std::string& reply, const std::function<bool()>& cancelled);
bool httpPost(const std::string& url, const std::string& body, bool isGet, bool readReply, bool takeCookie,
              std::string& cookie, float rttAvg, std::string& reply, const std::function<bool()>& cancelled,
              const std::function<void()>& onRequestSent);

// A reply body as the caller gets it: decoded to UTF-8 from the charset of `contentType` (UTF-8
// when it names none; null means no Content-Type), then 0x1E turned into ';' and 0x1F into '='.
// Nothing when the body is not valid in that charset or the charset is unknown.
std::optional<std::string> optDecodeReplyBody(std::string_view body, const char* contentType);

// The part of a Set-Cookie header value that becomes the session cookie: the first token when
// the text is split at ';' (delimiters in front of it skipped), taken verbatim.
std::string szCookieFromSetCookie(const std::string& setCookie);

}  // namespace kivota
