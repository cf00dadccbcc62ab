#pragma once
// A small layer over the management service: a WQL query in a namespace becomes a flat list
// of property records with every value already text, and every failure a readable message
// (the failing step, the code's symbolic name and the service's description of the code).
//
// The operations raise WmiError internally; bWmiQuery absorbs it, so its callers see only
// true or false. The layer keeps no state of its own; each call works on the caller's list.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/management_service.h"
#include "profile/system_error_text.h"

namespace kivota {

struct WmiProperty {
    std::string name;  // "Name[2]" for element 2 of an array property
    std::string value;
    std::int32_t cimType = 0;
    std::string cimTypeName;
    std::string originClass;
};

// The records of a query, object after object. Reading outside 0..count()-1 throws.
class WmiPropertyList {
public:
    std::size_t count() const { return items_.size(); }
    const WmiProperty& operator[](std::size_t i) const { return items_.at(i); }
    void clear() { items_.clear(); }
    void append(WmiProperty p) { items_.push_back(std::move(p)); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<WmiProperty> items_;
};

class WmiError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The steps whose failure is reported, each with its own message format.
enum class WmiStep {
    CoInitializeEx,
    CoInitializeSecurity,
    CreateLocator,
    ConnectServer,
    ProxyBlanket,
    ExecQuery,
    Next,
    GetNames
};

inline constexpr const char* kWmiObjectFollows = "Object -- 如下 --";
inline constexpr const char* kWmiNullValue = "(Null)";
inline constexpr const char* kWmiNoStatusText = "無法取得 Error Code Text!!!";

bool bWmiInitialize(IManagementService& service);
void vWmiUninitialize(IManagementService& service);
bool bWmiQuery(IManagementService& service, const std::string& ns, const std::string& query, WmiPropertyList& list);

WbemStatus hrWmiConnect(IManagementService& service, const std::string& ns,
                        std::shared_ptr<IManagementNamespace>& services);
WbemStatus hrWmiExecQuery(IManagementService& service, IManagementNamespace& services, const std::string& query,
                          WmiPropertyList& list);
WbemStatus hrWmiReadObject(IManagementService& service, const ManagementObject& object, WmiPropertyList& list,
                           bool allProperties);
WbemStatus hrWmiReadProperty(IManagementService& service, const ManagementObject& object, const std::string& name,
                             WmiPropertyList& list);

std::string szCimTypeName(std::int32_t cimType);
std::string szWbemErrorName(WbemStatus code);
std::string szWmiStatusText(IManagementService& service, WbemStatus code);

// The message of a failing step: its format filled with the code, then the code's name and,
// for the steps after the connection is made, ") - " and the service's description.
std::string szWmiFailureMessage(IManagementService& service, WmiStep step, WbemStatus code);

}  // namespace kivota
