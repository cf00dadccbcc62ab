#pragma once
// A window handle for tests: records every message (copying its texts) and can play the
// window's part through a reaction that runs on the sender's thread.

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/window_messages.h"

namespace kivota::test {

struct RecordedMessage {
    unsigned msg = 0;
    std::intptr_t wParam = 0;
    std::intptr_t lParam = 0;
    bool sent = false;  // SendMessage rather than PostMessage
    bool hasWText = false, hasLText = false;
    std::string wText, lText;
};

class RecordingWindow final : public IWindowHandle {
public:
    using Reaction = std::function<void(const RecordedMessage&)>;

    void setReaction(Reaction r) {
        std::lock_guard lock(mutex_);
        reaction_ = std::move(r);
    }
    bool PostMessage(WindowMessage m) override { return record(std::move(m), false); }
    bool SendMessage(WindowMessage m) override { return record(std::move(m), true); }

    std::vector<RecordedMessage> messages() const {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    std::vector<RecordedMessage> messages(unsigned msg) const;
    std::size_t count(unsigned msg) const { return messages(msg).size(); }

private:
    bool record(WindowMessage m, bool sent);

    mutable std::mutex mutex_;
    std::vector<RecordedMessage> messages_;
    Reaction reaction_;
};

}  // namespace kivota::test
