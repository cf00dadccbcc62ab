// Entry point of every engine test executable: libcurl is initialised once before any thread,
// and each test must leave no thread running behind it.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>

#include "platform/thread.h"

namespace {

class NoThreadOutlivesItsTest : public testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo& info) override {
        if (!kivota::ThreadTracker::waitAllEnded(std::chrono::seconds(20))) {
            ADD_FAILURE() << info.name() << " left " << kivota::ThreadTracker::running() << " thread(s) running";
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    curl_global_init(CURL_GLOBAL_ALL);
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new NoThreadOutlivesItsTest);
    const int rc = RUN_ALL_TESTS();
    curl_global_cleanup();
    return rc;
}
