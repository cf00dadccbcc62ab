#pragma once
// A management service whose namespaces, classes and objects the test builds, with failures
// to order: a namespace that does not connect, a query that fails, texts for status codes.
// Every query text is recorded as the service received it.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/management_service.h"

namespace kivota::test {

// Builds objects property by property.
class FakeObject {
public:
    FakeObject& text(const std::string& name, const std::string& value, const std::string& origin = "Fake_Class");
    FakeObject& null(const std::string& name, std::int32_t cimType = CimString);
    FakeObject& integer(const std::string& name, std::int64_t value, std::int32_t cimType = CimUint32);
    FakeObject& textArray(const std::string& name, const std::vector<std::string>& values);
    FakeObject& embedded(const std::string& name, const FakeObject& object);
    FakeObject& add(ManagementProperty property);
    ManagementObjectPtr build() const { return std::make_shared<const ManagementObject>(object_); }
    ManagementObject& raw() { return object_; }

private:
    ManagementObject object_;
};

class FakeManagementService final : public IManagementService {
public:
    struct Received {
        std::string ns;
        std::string query;
    };

    // Namespaces and classes are matched case-insensitively; a query names its class after "from".
    void addObject(const std::string& ns, const std::string& className, const FakeObject& object);
    void addClass(const std::string& ns, const std::string& className);  // a class with no objects
    void failQuery(const std::string& ns, const std::string& className, WbemStatus status);
    void failConnect(const std::string& ns, WbemStatus status, ConnectStep step = ConnectStep::ConnectServer);
    void failNext(const std::string& ns, const std::string& className, WbemStatus status);
    void setStatusText(WbemStatus code, const std::string& text) { texts_[code] = text; }
    bool statusTextsAvailable = true;
    WbemStatus initializeStatus = 0;
    int initializeCalls = 0, uninitializeCalls = 0;

    const std::vector<Received>& received() const { return received_; }

    WbemStatus initializeThread() override;
    void uninitializeThread() override { ++uninitializeCalls; }
    ConnectReply connect(const std::string& ns) override;
    StatusTextReply statusText(WbemStatus code) override;

private:
    struct ClassData {
        std::vector<ManagementObjectPtr> objects;
        WbemStatus queryStatus = 0;
        WbemStatus nextStatus = 0;
    };
    struct NamespaceData {
        std::map<std::string, ClassData> classes;
        WbemStatus connectStatus = 0;
        ConnectStep step = ConnectStep::ConnectServer;
    };
    class Namespace;
    std::map<std::string, NamespaceData> namespaces_;
    std::map<WbemStatus, std::string> texts_;
    std::vector<Received> received_;
};

}  // namespace kivota::test
