#include "support/fake_management.h"

#include <algorithm>
#include <cctype>

namespace kivota::test {

namespace {

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

ManagementProperty property(const std::string& name, std::int32_t type, CimValue value,
                            const std::string& origin = "Fake_Class") {
    ManagementProperty p;
    p.name = name;
    p.cimType = type;
    p.originClass = origin;
    p.value = std::move(value);
    return p;
}

}  // namespace

FakeObject& FakeObject::text(const std::string& name, const std::string& value, const std::string& origin) {
    return add(property(name, CimString, CimValue::scalar(value), origin));
}
FakeObject& FakeObject::null(const std::string& name, std::int32_t cimType) {
    return add(property(name, cimType, CimValue::null()));
}
FakeObject& FakeObject::integer(const std::string& name, std::int64_t value, std::int32_t cimType) {
    return add(property(name, cimType, CimValue::scalar(value)));
}
FakeObject& FakeObject::textArray(const std::string& name, const std::vector<std::string>& values) {
    std::vector<CimScalar> items(values.begin(), values.end());
    return add(property(name, CimFlagArray | CimString, CimValue::array(std::move(items))));
}
FakeObject& FakeObject::embedded(const std::string& name, const FakeObject& object) {
    return add(property(name, CimObject, CimValue::scalar(object.build())));
}
FakeObject& FakeObject::add(ManagementProperty p) {
    object_.properties.push_back(std::move(p));
    return *this;
}

class FakeManagementService::Namespace final : public IManagementNamespace {
public:
    Namespace(FakeManagementService& owner, std::string ns) : owner_(owner), ns_(std::move(ns)) {}

    QueryReply execQuery(const std::string&, const std::string& query) override {
        owner_.received_.push_back({ns_, query});
        // The class is the word after "from".
        const std::string lowered = lower(query);
        const auto from = lowered.find(" from ");
        std::string cls;
        if (from != std::string::npos) {
            const auto start = from + 6;
            cls = lowered.substr(start, lowered.find(' ', start) - start);
        }
        QueryReply reply;
        auto& classes = owner_.namespaces_[lower(ns_)].classes;
        const auto it = classes.find(cls);
        if (it == classes.end()) {
            reply.status = kWbemInvalidClass;
            return reply;
        }
        reply.status = it->second.queryStatus;
        if (reply.status == 0) reply.objects = it->second.objects;
        reply.nextStatus = it->second.nextStatus;
        return reply;
    }

private:
    FakeManagementService& owner_;
    std::string ns_;
};

void FakeManagementService::addObject(const std::string& ns, const std::string& className, const FakeObject& object) {
    namespaces_[lower(ns)].classes[lower(className)].objects.push_back(object.build());
}
void FakeManagementService::addClass(const std::string& ns, const std::string& className) {
    namespaces_[lower(ns)].classes[lower(className)];
}
void FakeManagementService::failQuery(const std::string& ns, const std::string& className, WbemStatus status) {
    namespaces_[lower(ns)].classes[lower(className)].queryStatus = status;
}
void FakeManagementService::failNext(const std::string& ns, const std::string& className, WbemStatus status) {
    namespaces_[lower(ns)].classes[lower(className)].nextStatus = status;
}
void FakeManagementService::failConnect(const std::string& ns, WbemStatus status, ConnectStep step) {
    auto& data = namespaces_[lower(ns)];
    data.connectStatus = status;
    data.step = step;
}

WbemStatus FakeManagementService::initializeThread() {
    ++initializeCalls;
    return initializeStatus;
}

ConnectReply FakeManagementService::connect(const std::string& ns) {
    ConnectReply reply;
    const auto it = namespaces_.find(lower(ns));
    if (it == namespaces_.end()) {
        reply.status = kWbemInvalidNamespace;
        return reply;
    }
    if (it->second.connectStatus != 0) {
        reply.status = it->second.connectStatus;
        reply.failedStep = it->second.step;
        return reply;
    }
    reply.services = std::make_shared<Namespace>(*this, ns);
    return reply;
}

StatusTextReply FakeManagementService::statusText(WbemStatus code) {
    StatusTextReply reply;
    reply.available = statusTextsAvailable;
    const auto it = texts_.find(code);
    if (statusTextsAvailable && it != texts_.end()) {
        reply.found = true;
        reply.text = it->second;
    }
    return reply;
}

}  // namespace kivota::test
