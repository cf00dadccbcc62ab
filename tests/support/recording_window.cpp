#include "support/recording_window.h"

namespace kivota::test {

std::vector<RecordedMessage> RecordingWindow::messages(unsigned msg) const {
    std::vector<RecordedMessage> out;
    for (const auto& m : messages()) {
        if (m.msg == msg) out.push_back(m);
    }
    return out;
}

bool RecordingWindow::record(WindowMessage m, bool sent) {
    RecordedMessage r;
    r.msg = m.msg;
    r.wParam = m.wParam;
    r.lParam = m.lParam;
    r.sent = sent;
    if (m.wText) {
        r.hasWText = true;
        r.wText = *m.wText;
    }
    if (m.lText) {
        r.hasLText = true;
        r.lText = *m.lText;
    }
    Reaction reaction;
    {
        std::lock_guard lock(mutex_);
        messages_.push_back(r);
        reaction = reaction_;
    }
    if (reaction) reaction(r);
    return true;
}

}  // namespace kivota::test
