// The server's answer to ABOR, read from the control connection in whatever pieces it comes.
#include <gtest/gtest.h>

#include <string>

#include "net/ftp_reply.h"

using namespace kivota;

TEST(FtpAbortAnswer, TheTransfersEndIsNotTheAnswerTheNextFinalReplyIs) {
    FtpAbortAnswer a;
    EXPECT_FALSE(a.bFeed("426 Transfer aborted.\r\n"));
    EXPECT_FALSE(a.bFeed("226-Abort\r\n226"));  // a continuation line, then a line not yet ended
    EXPECT_FALSE(a.bFeed(" ABOR successful.\r"));
    EXPECT_TRUE(a.bFeed("\n"));
    EXPECT_TRUE(a.bAnswered());

    FtpAbortAnswer refused;
    EXPECT_TRUE(refused.bFeed("500 Unknown command.\r\n"));  // answered, though not with 2xx
    FtpAbortAnswer early;
    EXPECT_FALSE(early.bFeed("150 Opening\r\n125 x\r\n22 short\r\n2266 x\r\nabc 226 x\n226 bare LF\n"));
}

TEST(FtpAbortAnswer, AnOverlongLineIsPassedOverWholeAndAPartOfItIsNoReply) {
    FtpAbortAnswer a;
    const std::string tail = "\r\n226 inside an overlong line\r\n";
    EXPECT_FALSE(a.bFeed(std::string(FtpAbortAnswer::kMaxLine + 1, 'x')));
    // The overlong line ends at the first CR LF; the line after it is read.
    EXPECT_TRUE(a.bFeed("more" + tail));

    FtpAbortAnswer cut;
    EXPECT_FALSE(cut.bFeed("226 " + std::string(FtpAbortAnswer::kMaxLine, 'y') + "\r\n"));
    EXPECT_TRUE(cut.bFeed("226 " + std::string(FtpAbortAnswer::kMaxLine - 4, 'y') + "\r\n"));
}
