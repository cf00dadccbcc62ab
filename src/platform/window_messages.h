#pragma once
// The messages the worker sends to the main window, and the window handle they go through.
// A text that travels with a message is a text holder owned by the message: whoever ends up
// with the message frees it, on every path, exactly once.

#include <cstdint>
#include <memory>
#include <string>

namespace kivota {

constexpr unsigned WM_USER = 1024;
constexpr unsigned WM_START_DECISION = WM_USER + 1;  // wParam 0 halt, 1 update required, 2 update offered, 3 go
constexpr unsigned WM_TEST_FINISHED = WM_USER + 5;   // wParam 1 accepted (lText: result URL), 2 not reported, 3 aborted
constexpr unsigned WM_TEST_PROGRESS = WM_USER + 6;   // wParam 0 upload, 1 download, 2 preparation; lParam percent
constexpr unsigned WM_TEST_REFUSED = WM_USER + 8;
constexpr unsigned WM_KEEP_ALIVE = WM_USER + 10;  // wText: session cookie, lText: keep-alive URL
constexpr unsigned WM_CONFIG_LOADED = WM_USER + 11;
constexpr unsigned WM_ANALYSIS_START = WM_USER + 12;
constexpr unsigned WM_GO_REQUEST = WM_USER + 13;

using TextHolder = std::string;

struct WindowMessage {
    unsigned msg = 0;
    std::intptr_t wParam = 0;
    std::intptr_t lParam = 0;
    std::unique_ptr<TextHolder> wText;  // set instead of wParam when the message carries a text
    std::unique_ptr<TextHolder> lText;  // set instead of lParam when the message carries a text

    static WindowMessage make(unsigned msg, std::intptr_t wParam = 0, std::intptr_t lParam = 0) {
        WindowMessage m;
        m.msg = msg;
        m.wParam = wParam;
        m.lParam = lParam;
        return m;
    }
    static WindowMessage withTexts(unsigned msg, std::unique_ptr<TextHolder> w, std::unique_ptr<TextHolder> l) {
        WindowMessage m;
        m.msg = msg;
        m.wText = std::move(w);
        m.lText = std::move(l);
        return m;
    }
};

// The address of the worker's messages. PostMessage queues and returns; SendMessage returns
// once the window has handled the message, or at once (false) when the window is shutting down.
class IWindowHandle {
public:
    virtual ~IWindowHandle() = default;
    virtual bool PostMessage(WindowMessage message) = 0;
    virtual bool SendMessage(WindowMessage message) = 0;
};

}  // namespace kivota
