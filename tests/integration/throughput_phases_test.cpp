// How the phases drive their connections against the testbed's FTP server: the download path,
// the upload directory and the one upload name of a phase.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

#include "net/ftp_class.h"
#include "support/letter_encode.h"
#include "support/testbed_process.h"
#include "support/worker_rig.h"

using namespace kivota;

namespace {

struct Rig : test::WorkerRig {
    test::TestbedProcess testbed;
    std::shared_ptr<CWorkThread> w = makeWorker();

    Rig() {
        w->params.ftpUrl = testbed.ftpServer();
        w->params.ftpUid = "ftp";
        w->params.ftpPwd = "kivota";
        w->params.dlDurationSec = w->params.ulDurationSec = 10;
        // The wait passes on the rig's fake clock at once (the phase measures nothing on
        // loopback): these tests look at how the connections were started.
    }
    std::multiset<std::string> commands(const std::string& verb) const {
        std::multiset<std::string> found;
        for (const auto& line : testbed.ftpLog()) {
            const auto tab = line.find('\t');
            const std::string command = tab == std::string::npos ? line : line.substr(tab + 1);
            if (command.rfind(verb + " ", 0) == 0) found.insert(command);
        }
        return found;
    }
};

TEST(ThroughputPhasesServer, DownloadFetchesThePathWithoutItsLeadingSlash) {
    Rig rig;
    rig.w->params.dlPath = "/test.zip";
    rig.w->params.dlSessions = 2;
    EXPECT_FALSE(rig.w->bDownloadPhase(rig.w->params));
    EXPECT_EQ(rig.w->dlStarted, 2);
    EXPECT_EQ(rig.state->dlSessionsSetting, 2);
    rig.w->vCleanUp();
    // Each Get asks for the size on the owner's thread; the RETR may be cut short by the stop.
    const auto sizes = rig.commands("SIZE");
    EXPECT_GE(sizes.size(), 2u);
    for (const auto& size : sizes) EXPECT_EQ(size, "SIZE test.zip");
    for (const auto& retr : rig.commands("RETR")) EXPECT_EQ(retr, "RETR test.zip");
    // Over loopback no second is accepted (no tested adapter): the phase measured too little.
    EXPECT_EQ(rig.state->errorCode, ErrDownloadTooShort);
}

TEST(ThroughputPhasesServer, EveryUploadConnectionStoresTheSameNameInUploads) {
    Rig rig;
    rig.w->params.ulSessions = 3;
    rig.w->params.ulPath = "/elsewhere";  // not used: uploads always go to "uploads"
    EXPECT_FALSE(rig.w->bUploadPhase(rig.w->params, false));
    EXPECT_EQ(rig.w->ulStarted, 3);
    rig.w->vCleanUp();
    // The fake clock's local time is 2026-12-08 10:20:30.456.
    const std::string name = "STOR 20261208102030456.txt";
    EXPECT_EQ(rig.commands("STOR"), (std::multiset<std::string>{name, name, name}));
    EXPECT_EQ(rig.commands("CWD").count("CWD uploads"), 3u);
}

TEST(ThroughputPhasesServer, RefusedLoginOfConnectionOneFailsThePhase) {
    Rig rig;
    rig.w->params.dlPath = "/test_2048m.zip";
    rig.w->params.dlSessions = 3;
    rig.w->params.ftpUid = "kivota";
    rig.w->params.ftpPwd = "wrong";  // every login fails: connection 1 decides, the phase fails twice
    EXPECT_FALSE(rig.w->bDownloadPhase(rig.w->params));
    EXPECT_EQ(rig.state->errorCode, ErrPhaseStart);
    EXPECT_TRUE(rig.commands("RETR").empty());
    rig.w->vCleanUp();
}

}  // namespace
