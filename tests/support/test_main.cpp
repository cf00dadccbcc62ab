// Entry point of every test executable: libcurl is initialised once before any thread, and
// each test must leave no thread running behind it.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

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
    // Each process's results in a file of their own, for the test script's closing count: the
    // cases of one executable run in many processes side by side. The flag must be set before
    // the framework reads its flags, which is when it installs the writer; a listing of the
    // cases (ctest's discovery) writes none.
    const bool listing = std::any_of(argv + 1, argv + argc,
                                     [](const char* arg) { return std::string_view(arg) == "--gtest_list_tests"; });
    if (const char* dir = std::getenv("KIVOTA_TEST_RESULTS"); dir != nullptr && !listing) {
        GTEST_FLAG_SET(output, std::string("xml:") + dir + "/" + std::to_string(::getpid()) + ".xml");
    }
    testing::InitGoogleTest(&argc, argv);
    testing::UnitTest::GetInstance()->listeners().Append(new NoThreadOutlivesItsTest);
    const int rc = RUN_ALL_TESTS();
    curl_global_cleanup();
    std::error_code ignored;
    std::filesystem::remove_all(data, ignored);
    return rc;
}
