#include "net/http_thread.h"

#include "net/http_exchange.h"

namespace kivota {

std::weak_ptr<CHttpThread> CHttpThread::vStart(std::string cookie, std::string url) {
    auto thread = std::make_shared<CHttpThread>();
    thread->SetFreeOnTerminate(true);
    thread->m_szCookie = std::move(cookie);
    thread->m_wszUrl = std::move(url);
    thread->Resume();
    return thread;
}

void CHttpThread::Execute() {
    if (m_szCookie.empty()) return;
    HttpExchange ex;
    ex.url = m_wszUrl;
    ex.timeouts = kKeepAliveTimeouts;
    ex.readReply = false;
    std::string unused;
    bHttpExchange(ex, m_szCookie, unused);
}

}  // namespace kivota
