#pragma once
// A short-lived thread that sends one keep-alive GET with the session cookie while the
// transfer phases run. Nobody waits for it or reads its outcome; it frees itself.

#include <memory>
#include <string>

#include "platform/thread.h"

namespace kivota {

class CHttpThread : public TThread {
public:
    CHttpThread() = default;
    ~CHttpThread() override = default;

    std::string m_szCookie;  // copy of the worker's session cookie
    std::string m_wszUrl;    // the keep-alive URL, already decoded

    // Creates a self-freeing keep-alive thread for `cookie` and `url` and starts it.
    static std::weak_ptr<CHttpThread> vStart(std::string cookie, std::string url);

protected:
    // Only with a cookie is anything sent (the cookie, one space longer, as "Cookie" header);
    // no reply is read and a failure is silent.
    void Execute() override;
};

}  // namespace kivota
