#pragma once
// The management service the profile queries for system facts: namespaces, WQL queries and
// objects whose properties carry CIM type codes, as the system's management instrumentation
// presents them. One implementation answers from the Linux machine itself
// (platform/linux/linux_management_service.h); tests substitute a fake.
//
// Status codes are the service's HRESULT-style 32-bit codes: 0 is success, a negative value
// (0x8004xxxx) a failure. Thread: any thread; each call stands alone.

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace kivota {

using WbemStatus = std::int32_t;

// Turns a published code such as 0x80041010 into its status value.
constexpr WbemStatus wbemStatus(std::uint32_t code) { return static_cast<WbemStatus>(code); }

inline constexpr WbemStatus kWbemInvalidNamespace = wbemStatus(0x8004100E);
inline constexpr WbemStatus kWbemInvalidClass = wbemStatus(0x80041010);
inline constexpr WbemStatus kWbemInvalidQuery = wbemStatus(0x80041017);

// CIM type codes (the low 12 bits) and flags.
enum CimType : std::int32_t {
    CimSint16 = 2,
    CimSint32 = 3,
    CimReal32 = 4,
    CimReal64 = 5,
    CimString = 8,
    CimBoolean = 11,
    CimObject = 13,
    CimSint8 = 16,
    CimUint8 = 17,
    CimUint16 = 18,
    CimUint32 = 19,
    CimSint64 = 20,
    CimUint64 = 21,
    CimDateTime = 101,
    CimReference = 102,
    CimChar16 = 103,
    CimFlagArray = 0x2000,
};

struct ManagementObject;

// A property value as the service hands it over (the variant of the platform).
struct UnknownInterface {};  // an interface pointer that is not an object
using CimScalar =
    std::variant<bool, std::int64_t, double, std::string, std::shared_ptr<const ManagementObject>, UnknownInterface>;

struct CimValue {
    enum class Kind { Null, Scalar, Array };
    Kind kind = Kind::Null;
    std::vector<CimScalar> items;  // one for a scalar, the elements of an array

    static CimValue null() { return {}; }
    static CimValue scalar(CimScalar v) { return {Kind::Scalar, {std::move(v)}}; }
    static CimValue array(std::vector<CimScalar> v) { return {Kind::Array, std::move(v)}; }
};

struct ManagementProperty {
    std::string name;
    std::int32_t cimType = CimString;
    std::string originClass;
    CimValue value;
    bool systemProperty = false;  // a "__" property the service adds to every object
    WbemStatus readStatus = 0;    // non-zero: reading this property fails with this status
};

struct ManagementObject {
    std::vector<ManagementProperty> properties;  // in the order the service lists their names
    WbemStatus namesStatus = 0;                  // non-zero: listing the names fails
};
using ManagementObjectPtr = std::shared_ptr<const ManagementObject>;

struct QueryReply {
    WbemStatus status = 0;  // of the query itself
    std::vector<ManagementObjectPtr> objects;
    WbemStatus nextStatus = 0;  // non-zero: fetching the object after the last one fails
};

// One connected namespace.
class IManagementNamespace {
public:
    virtual ~IManagementNamespace() = default;
    virtual QueryReply execQuery(const std::string& language, const std::string& query) = 0;
};

// Where a connection failed: creating the locator, connecting, or setting the security blanket.
enum class ConnectStep { Locator, ConnectServer, ProxyBlanket };

struct ConnectReply {
    WbemStatus status = 0;
    ConnectStep failedStep = ConnectStep::ConnectServer;  // meaningful only when status != 0
    std::shared_ptr<IManagementNamespace> services;       // set when status == 0
};

struct StatusTextReply {
    bool available = true;  // false: the status-text service cannot be reached at all
    bool found = false;     // the service has a description of the code
    std::string text;
};

// The namespace of the machine's own classes (operating system, processor, adapters).
inline constexpr const char* kCimv2Namespace = "root\\CIMV2";

class IManagementService {
public:
    virtual ~IManagementService() = default;

    // Per-thread set-up and its security settings; services that need none answer 0.
    virtual WbemStatus initializeThread() { return 0; }
    virtual WbemStatus initializeSecurity() { return 0; }
    virtual void uninitializeThread() {}

    // namespace as "root\CIMV2" (case-insensitive).
    virtual ConnectReply connect(const std::string& ns) = 0;
    virtual StatusTextReply statusText(WbemStatus code) = 0;
};

}  // namespace kivota
