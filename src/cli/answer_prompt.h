#pragma once
// A yes-or-no question on a terminal: the question on the prompt's stream, the answer read from
// its input on the event loop, a line at a time, without blocking the loop.

#include <cstdio>
#include <functional>
#include <string>

#include "platform/event_loop.h"

namespace kivota {

class AnswerPrompt {
public:
    // `answered(yes, inputEnded)`: a line beginning with y or Y is yes; the end of the input
    // without a line is no.
    using Answered = std::function<void(bool yes, bool inputEnded)>;

    AnswerPrompt(IEventLoop& loop, int input, std::FILE* out) : loop_(loop), input_(input), out_(out) {}
    ~AnswerPrompt() { cancel(); }
    AnswerPrompt(const AnswerPrompt&) = delete;
    AnswerPrompt& operator=(const AnswerPrompt&) = delete;

    void ask(const std::string& question, Answered answered);
    // Stops waiting for an answer; none is reported.
    void cancel();

private:
    void vOnReadable();

    IEventLoop& loop_;
    int input_;
    std::FILE* out_;
    Answered answered_;
    std::string answer_;
    bool asking_ = false;
};

}  // namespace kivota
