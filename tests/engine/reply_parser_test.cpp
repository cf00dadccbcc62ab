// Parsing the server's name=value; replies the way the C tokeniser splits them, and the strict
// conversion of their numeric values.
#include <gtest/gtest.h>

#include "net/reply_parser.h"

using namespace kivota;

namespace {

ReplyLists parsed(const std::string& reply) {
    ReplyLists lists;
    vParseReply(reply, lists);
    return lists;
}

}  // namespace

TEST(ReplyParser, NamesAreLowerCasedAndLookedUpCaseBlind) {
    const ReplyLists lists = parsed("ver_server=1.0;Update_URL=u;");
    ASSERT_EQ(lists.names, (std::vector<std::string>{"ver_server", "update_url"}));
    EXPECT_EQ(lists.values, (std::vector<std::string>{"1.0", "u"}));
    EXPECT_EQ(szGetValue("Update_URL", lists), "u");
    EXPECT_EQ(szGetValue("VER_SERVER", lists), "1.0");
    EXPECT_EQ(szGetValue("absent", lists), "");
}

TEST(ReplyParser, ValueKeepsEqualsSignsAndIsCutAtSemicolon) {
    const ReplyLists lists = parsed("Info_URL=http://h/p?a=1&b=2;text=one;two;next=3;");
    EXPECT_EQ(szGetValue("info_url", lists), "http://h/p?a=1&b=2");
    EXPECT_EQ(szGetValue("text", lists), "one");
    // What followed the ';' became a name of its own, running up to the next '='.
    EXPECT_EQ(szGetValue("two;next", lists), "3");
}

TEST(ReplyParser, DelimiterRunsAreSkippedLikeTheCTokeniser) {
    // An empty value skips the ';' and swallows the pair that follows it.
    const ReplyLists lists = parsed("a=;b=2;c=3;");
    ASSERT_EQ(lists.names.size(), 2u);
    EXPECT_EQ(szGetValue("a", lists), "b=2");
    EXPECT_EQ(szGetValue("c", lists), "3");
    // Leading '=' before a name are skipped too.
    EXPECT_EQ(szGetValue("x", parsed("==x=1")), "1");
}

TEST(ReplyParser, TrailingNameGetsEmptyValueAndFirstDuplicateWins) {
    const ReplyLists lists = parsed("k=1;K=2;tail");
    ASSERT_EQ(lists.names, (std::vector<std::string>{"k", "k", "tail"}));
    EXPECT_EQ(lists.values.back(), "");
    EXPECT_EQ(szGetValue("k", lists), "1");
}

TEST(ReplyParser, EmptyReplyYieldsOneEmptyEntry) {
    const ReplyLists lists = parsed("");
    ASSERT_EQ(lists.names.size(), 1u);
    ASSERT_EQ(lists.values.size(), 1u);
    EXPECT_EQ(lists.names[0], "");
    EXPECT_EQ(lists.values[0], "");
    EXPECT_EQ(szGetValue("", lists), "");
}

TEST(StrictInt, AcceptsSignAndDigitsWithinThirtyTwoBits) {
    EXPECT_EQ(optStrictInt("10"), 10);
    EXPECT_EQ(optStrictInt("-5"), -5);
    EXPECT_EQ(optStrictInt("+7"), 7);
    EXPECT_EQ(optStrictInt("007"), 7);
    EXPECT_EQ(optStrictInt("2147483647"), 2147483647);
    EXPECT_EQ(optStrictInt("-2147483648"), -2147483647 - 1);
}

TEST(StrictInt, RefusesEverythingElse) {
    for (const char* bad :
         {"", "+", "-", " 1", "1 ", "1.5", "1e3", "0x10", "ten", "2147483648", "-2147483649", "99999999999999999999"}) {
        EXPECT_FALSE(optStrictInt(bad).has_value()) << '"' << bad << '"';
    }
}
