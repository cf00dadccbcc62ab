#pragma once
// A network namespace of a test's own, joined to this one by a veth pair on a free /30 of
// 198.19.77.0/24: the host end takes the first address, the namespace end the second, both
// ends and the namespace's loopback are up. Needs root. The destructor removes it all.
//
// Names carry the process id ("kvt-<pid>-<n>"), and every new namespace first sweeps away those
// whose process no longer runs, so a test that was killed leaves nothing for long.

#include <string>

namespace kivota::test {

class TestNamespace {
public:
    TestNamespace();
    ~TestNamespace();
    TestNamespace(const TestNamespace&) = delete;
    TestNamespace& operator=(const TestNamespace&) = delete;

    // false when some step failed; what was made is still removed.
    bool ok() const { return ok_; }
    const std::string& name() const { return name_; }
    const std::string& hostInterface() const { return hostIf_; }
    const std::string& nsInterface() const { return nsIf_; }
    const std::string& hostAddress() const { return hostAddr_; }
    const std::string& nsAddress() const { return nsAddr_; }

    // Runs a shell command inside the namespace, output discarded; true on exit status 0.
    bool run(const std::string& command) const;

    // Removes the kvt- namespaces of processes that have ended.
    static void vSweepLeftovers();

private:
    std::string name_, hostIf_, nsIf_, hostAddr_, nsAddr_;
    bool ok_ = false;
};

}  // namespace kivota::test
