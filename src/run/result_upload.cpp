#include <memory>
#include <random>

#include "net/letter_code.h"
#include "net/reply_parser.h"
#include "run/result_line.h"
#include "run/work_thread.h"

namespace kivota {

namespace {

// The upload could not be made or was not acknowledged: the window shows code 5's message.
void vReportUploadFailure(RunState& rs, IWindowHandle& window) {
    rs.errorCode = ErrResultUpload;
    window.PostMessage(WindowMessage::make(WM_TEST_FINISHED, 2, 0));
}

}  // namespace

void CWorkThread::vUploadResult() {
    // Told to stop during the phases: the phases ended early, and nothing of them is posted.
    if (Terminated()) return;
    IWindowHandle& window = *svc.window;
    const std::string cookieValue = szCookieValue(m_szCookie);
    const std::string query = szResultQuery(*this, cookieValue);

    window.PostMessage(WindowMessage::make(WM_ANALYSIS_START, 0, 0));

    // The server descrambles with the key it gave us in the cookie; without one (a value of
    // fewer than four characters) there is nothing it could read, so nothing is sent.
    std::random_device seed;
    std::uniform_int_distribution<int> padding(0, 9999);
    const int random1 = padding(seed);
    const int random2 = padding(seed);
    const std::string body = szResultBody(query, cookieValue, random1, random2);
    if (body.empty()) {
        vReportUploadFailure(rs, window);
        return;
    }

    std::string reply;
    if (!bHttpPost(szDecode(svc.addresses->resultUrl), body, false, true, false, reply)) {
        vReportUploadFailure(rs, window);
        return;
    }
    ReplyLists lists;
    vParseReply(reply, lists);
    std::string resultUrl = szGetValue("result_url", lists);
    if (resultUrl.empty()) {
        vReportUploadFailure(rs, window);
        return;
    }
    rs.resultFlags = szGetValue("flags", lists);
    rs.resultITime = szGetValue("itime", lists);
    WindowMessage finished = WindowMessage::make(WM_TEST_FINISHED, 1, 0);
    finished.lText = std::make_unique<TextHolder>(std::move(resultUrl));
    window.PostMessage(std::move(finished));
}

}  // namespace kivota
