// Entry point of every test executable: libcurl is initialised once before any thread, and
// each test must leave no thread running behind it.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

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
    // The runs the tests make go into a history of this process's own, never the user's.
    const std::string data =
        std::filesystem::temp_directory_path() / ("kivota-test-data-" + std::to_string(::getpid()));
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    curl_global_init(CURL_GLOBAL_ALL);
    testing::InitGoogleTest(&argc, argv);
    // Each process's results in a file of their own, for the test script's closing count: the
    // cases of one executable run in many processes side by side.
    if (const char* dir = std::getenv("KIVOTA_TEST_RESULTS"); dir != nullptr && !GTEST_FLAG_GET(list_tests)) {
        GTEST_FLAG_SET(output, std::string("xml:") + dir + "/" + std::to_string(::getpid()) + ".xml");
    }
    testing::UnitTest::GetInstance()->listeners().Append(new NoThreadOutlivesItsTest);
    const int rc = RUN_ALL_TESTS();
    curl_global_cleanup();
    std::error_code ignored;
    std::filesystem::remove_all(data, ignored);
    return rc;
}
