#include "cli/answer_prompt.h"

#include <unistd.h>

#include <cerrno>

namespace kivota {

namespace {
constexpr std::size_t kLongestAnswer = 1024;
}

void AnswerPrompt::ask(const std::string& question, Answered answered) {
    std::fprintf(out_, "%s [y/N] ", question.c_str());
    std::fflush(out_);
    answered_ = std::move(answered);
    answer_.clear();
    asking_ = true;
    loop_.watch(input_, [this] { vOnReadable(); });
}

void AnswerPrompt::cancel() {
    if (!asking_) return;
    asking_ = false;
    loop_.unwatch(input_);
}

void AnswerPrompt::vOnReadable() {
    char buffer[256];
    const ssize_t n = ::read(input_, buffer, sizeof buffer);
    if (n > 0) {
        answer_.append(buffer, static_cast<std::size_t>(n));
        if (answer_.find('\n') == std::string::npos && answer_.size() < kLongestAnswer) return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    // A line, the end of the input or an error: the answer is complete.
    cancel();
    const std::size_t first = answer_.find_first_not_of(" \t\r\n");
    const bool yes = first != std::string::npos && (answer_[first] == 'y' || answer_[first] == 'Y');
    if (n == 0 && answer_.empty()) std::fputc('\n', out_);
    const Answered answered = std::move(answered_);
    answered(yes, n == 0 && answer_.empty());
}

}  // namespace kivota
