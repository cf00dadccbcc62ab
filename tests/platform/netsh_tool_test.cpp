// The netsh stand-in against the sysctl values it reports, and the command run through a
// pipe: only from the program's own helper directory, large output, a command that cannot
// start, and where the programs find their helper.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "profile/command_output.h"
#include "profile/netsh_state.h"
#include "support/command_output.h"
#include "wiring/engine_root.h"

namespace kivota {
namespace {

const std::string kToolDir = KIVOTA_BINARY_DIR "/tools/netsh";

std::vector<int> codes(const std::string& state) {
    std::vector<int> out;
    std::size_t start = 0;
    while (start <= state.size()) {
        const auto comma = state.find(',', start);
        out.push_back(std::stoi(state.substr(start, comma - start)));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return out;
}

// A directory with a netsh script of the test's own.
class ScriptDir {
public:
    explicit ScriptDir(const std::string& body) {
        char pattern[] = "/tmp/kivota-netsh-XXXXXX";
        dir_ = ::mkdtemp(pattern);
        const std::string script = dir_ + "/netsh";
        std::ofstream(script) << "#!/bin/sh\n" << body;
        ::chmod(script.c_str(), 0755);
    }
    ~ScriptDir() { std::filesystem::remove_all(dir_); }
    const std::string& path() const { return dir_; }

private:
    std::string dir_;
};

TEST(NetshTool, CodesAgreeWithTheKernelSettings) {
    const auto output = runCommandOutput(kNetshCommandLine, kToolDir, 1 << 20);
    ASSERT_TRUE(output.has_value()) << "netsh tool not built in " << kToolDir;
    EXPECT_NE(output->find("\r\n"), std::string::npos);
    const auto c = codes(szParseNetshState(*output));
    ASSERT_EQ(c.size(), 7u);

    const bool severalQueues =
        test::szCommandOutput(
            "for q in /sys/class/net/*/queues; do ls $q | grep -c '^rx-'; done | awk '$1>1{n++} END{print n+0}'") !=
        "0";
    EXPECT_EQ(c[0], severalQueues ? 1 : 0);
    EXPECT_EQ(c[1], 0);  // chimney
    EXPECT_EQ(c[2], test::szCommandOutput("sysctl -n net.ipv4.tcp_moderate_rcvbuf") == "1" ? 3 : 0);
    const std::string congestion = test::szCommandOutput("sysctl -n net.ipv4.tcp_congestion_control");
    EXPECT_EQ(c[3], congestion == "none" ? 0 : congestion == "ctcp" ? 1 : 2);
    EXPECT_NE(output->find("Add-On Congestion Control Provider  : " + congestion + "\r\n"), std::string::npos);
    EXPECT_EQ(c[4], 0);  // NetDMA
    EXPECT_EQ(c[5], 0);  // DCA
    EXPECT_EQ(c[6], test::szCommandOutput("sysctl -n net.ipv4.tcp_timestamps") == "0" ? 0 : 1);
}

TEST(NetshTool, OtherCommandLinesAreRefused) {
    const std::string out = test::szCommandOutput(kToolDir + "/netsh int ip show config 2>&1; echo \" rc=$?\"");
    EXPECT_NE(out.find("The following command was not found: int ip show config."), std::string::npos);
    EXPECT_NE(out.find("rc=1"), std::string::npos);
}

// Only the program's own helper runs: a netsh planted first on PATH, or in the working
// directory, never does, whether the helper is there or missing.
TEST(NetshRun, OnlyTheHelperInItsOwnDirectoryRuns) {
    ScriptDir local(
        "printf '\\r\\nQuerying active state...\\r\\n\\r\\nTCP Global Parameters\\r\\n---\\r\\n"
        "Chimney Offload State : enabled\\r\\n'\n");
    const std::string marker = local.path() + "/planted-ran";
    ScriptDir planted("touch " + marker + "\nprintf 'h\\nh\\nh\\nh\\nRFC 1323 Timestamps : enabled\\r\\n'\n");
    const std::string savedPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    const auto savedCwd = std::filesystem::current_path();
    ::setenv("PATH", (planted.path() + ":" + savedPath).c_str(), 1);
    std::filesystem::current_path(planted.path());

    std::string state;
    vGetNetshState(state, local.path());
    const std::string withHelper = state;
    state = "kept";
    vGetNetshState(state, "/nonexistent");
    const std::string helperMissing = state;
    vGetNetshState(state, "");
    const std::string noHelperDirectory = state;
    const auto bare = runCommandOutput(kNetshCommandLine, "", kNetshOutputLimit);

    std::filesystem::current_path(savedCwd);
    ::setenv("PATH", savedPath.c_str(), 1);
    EXPECT_EQ(withHelper, "-1,1,-1,-1,-1,-1,-1");
    EXPECT_EQ(helperMissing, "kept");
    EXPECT_EQ(noHelperDirectory, "kept");
    EXPECT_FALSE(bare.has_value());
    EXPECT_FALSE(std::filesystem::exists(marker)) << "the netsh on PATH ran";
}

// Where the programs look for their helper: the installed private directory, else the build
// tree they run in; an installed program whose helper is missing has none, not the directory
// it sits in (which is on PATH).
TEST(NetshRun, TheHelperDirectoryIsTheInstalledOneOrTheBuildTrees) {
    ScriptDir tree("exit 0\n");
    namespace fs = std::filesystem;
    const fs::path root = tree.path();
    const fs::path bin = root / "usr" / "bin";
    const fs::path helpers = (bin / helperRelativeDirectory()).lexically_normal();
    fs::create_directories(bin);
    fs::create_directories(helpers);
    fs::copy_file(root / "netsh", bin / "netsh");  // a netsh beside the installed program

    EXPECT_EQ(helperDirectoryFor(bin.string(), "/nonexistent/build"), "");
    fs::copy_file(root / "netsh", helpers / "netsh");
    EXPECT_EQ(fs::path(helperDirectoryFor(bin.string(), "/nonexistent/build")).lexically_normal(), helpers);

    // A build tree: the copy beside the program, and nothing outside the tree.
    const fs::path build = root / "build";
    const fs::path cli = build / "src" / "cli";
    fs::create_directories(cli);
    EXPECT_EQ(helperDirectoryFor(cli.string(), build.string()), cli.string());
    EXPECT_EQ(helperDirectoryFor((root / "buildx").string(), build.string()), "");
    EXPECT_EQ(helperDirectoryFor(root.string(), build.string()), "");
    EXPECT_EQ(helperDirectoryFor("", build.string()), "");
}

TEST(NetshRun, OutputLargerThanThePipeIsDrainedAndOnlyItsStartParsed) {
    // 200 KB after the lines: a reader that waited for the end before reading would stall.
    ScriptDir big(
        "printf 'h1\\nh2\\nh3\\nh4\\nRFC 1323 Timestamps : enabled\\r\\n'\n"
        "head -c 200000 /dev/zero | tr '\\0' 'x'\n"
        "printf '\\nNetDMA State : enabled\\r\\n'\n");
    std::string state;
    vGetNetshState(state, big.path());
    EXPECT_EQ(state, "-1,-1,-1,-1,-1,-1,1");
    const auto output = runCommandOutput("netsh", big.path(), kNetshOutputLimit);
    ASSERT_TRUE(output.has_value());
    EXPECT_EQ(output->size(), kNetshOutputLimit);
}

}  // namespace
}  // namespace kivota
