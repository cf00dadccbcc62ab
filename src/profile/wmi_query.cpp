#include "profile/wmi_query.h"

#include <strings.h>

#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <utility>

namespace kivota {

namespace {

struct NamedCode {
    std::uint32_t code;
    const char* name;
};

// The published management status enumeration.
constexpr NamedCode kWbemNames[] = {
    {0x80041001, "WBEM_E_FAILED"},
    {0x80041002, "WBEM_E_NOT_FOUND"},
    {0x80041003, "WBEM_E_ACCESS_DENIED"},
    {0x80041004, "WBEM_E_PROVIDER_FAILURE"},
    {0x80041005, "WBEM_E_TYPE_MISMATCH"},
    {0x80041006, "WBEM_E_OUT_OF_MEMORY"},
    {0x80041007, "WBEM_E_INVALID_CONTEXT"},
    {0x80041008, "WBEM_E_INVALID_PARAMETER"},
    {0x80041009, "WBEM_E_NOT_AVAILABLE"},
    {0x8004100A, "WBEM_E_CRITICAL_ERROR"},
    {0x8004100B, "WBEM_E_INVALID_STREAM"},
    {0x8004100C, "WBEM_E_NOT_SUPPORTED"},
    {0x8004100D, "WBEM_E_INVALID_SUPERCLASS"},
    {0x8004100E, "WBEM_E_INVALID_NAMESPACE"},
    {0x8004100F, "WBEM_E_INVALID_OBJECT"},
    {0x80041010, "WBEM_E_INVALID_CLASS"},
    {0x80041011, "WBEM_E_PROVIDER_NOT_FOUND"},
    {0x80041012, "WBEM_E_INVALID_PROVIDER_REGISTRATION"},
    {0x80041013, "WBEM_E_PROVIDER_LOAD_FAILURE"},
    {0x80041014, "WBEM_E_INITIALIZATION_FAILURE"},
    {0x80041015, "WBEM_E_TRANSPORT_FAILURE"},
    {0x80041016, "WBEM_E_INVALID_OPERATION"},
    {0x80041017, "WBEM_E_INVALID_QUERY"},
    {0x80041018, "WBEM_E_INVALID_QUERY_TYPE"},
    {0x80041019, "WBEM_E_ALREADY_EXISTS"},
    {0x8004101A, "WBEM_E_OVERRIDE_NOT_ALLOWED"},
    {0x8004101B, "WBEM_E_PROPAGATED_QUALIFIER"},
    {0x8004101C, "WBEM_E_PROPAGATED_PROPERTY"},
    {0x8004101D, "WBEM_E_UNEXPECTED"},
    {0x8004101E, "WBEM_E_ILLEGAL_OPERATION"},
    {0x8004101F, "WBEM_E_CANNOT_BE_KEY"},
    {0x80041020, "WBEM_E_INCOMPLETE_CLASS"},
    {0x80041021, "WBEM_E_INVALID_SYNTAX"},
    {0x80041022, "WBEM_E_NONDECORATED_OBJECT"},
    {0x80041023, "WBEM_E_READ_ONLY"},
    {0x80041024, "WBEM_E_PROVIDER_NOT_CAPABLE"},
    {0x80041025, "WBEM_E_CLASS_HAS_CHILDREN"},
    {0x80041026, "WBEM_E_CLASS_HAS_INSTANCES"},
    {0x80041027, "WBEM_E_QUERY_NOT_IMPLEMENTED"},
    {0x80041028, "WBEM_E_ILLEGAL_NULL"},
    {0x80041029, "WBEM_E_INVALID_QUALIFIER_TYPE"},
    {0x8004102A, "WBEM_E_INVALID_PROPERTY_TYPE"},
    {0x8004102B, "WBEM_E_VALUE_OUT_OF_RANGE"},
    {0x8004102C, "WBEM_E_CANNOT_BE_SINGLETON"},
    {0x8004102D, "WBEM_E_INVALID_CIM_TYPE"},
    {0x8004102E, "WBEM_E_INVALID_METHOD"},
    {0x8004102F, "WBEM_E_INVALID_METHOD_PARAMETERS"},
    {0x80041030, "WBEM_E_SYSTEM_PROPERTY"},
    {0x80041031, "WBEM_E_INVALID_PROPERTY"},
    {0x80041032, "WBEM_E_CALL_CANCELLED"},
    {0x80041033, "WBEM_E_SHUTTING_DOWN"},
    {0x80041034, "WBEM_E_PROPAGATED_METHOD"},
    {0x80041035, "WBEM_E_UNSUPPORTED_PARAMETER"},
    {0x80041036, "WBEM_E_MISSING_PARAMETER_ID"},
    {0x80041037, "WBEM_E_INVALID_PARAMETER_ID"},
    {0x80041038, "WBEM_E_NONCONSECUTIVE_PARAMETER_IDS"},
    {0x80041039, "WBEM_E_PARAMETER_ID_ON_RETVAL"},
    {0x8004103A, "WBEM_E_INVALID_OBJECT_PATH"},
    {0x8004103B, "WBEM_E_OUT_OF_DISK_SPACE"},
    {0x8004103C, "WBEM_E_BUFFER_TOO_SMALL"},
    {0x8004103D, "WBEM_E_UNSUPPORTED_PUT_EXTENSION"},
    {0x8004103E, "WBEM_E_UNKNOWN_OBJECT_TYPE"},
    {0x8004103F, "WBEM_E_UNKNOWN_PACKET_TYPE"},
    {0x80041040, "WBEM_E_MARSHAL_VERSION_MISMATCH"},
    {0x80041041, "WBEM_E_MARSHAL_INVALID_SIGNATURE"},
    {0x80041042, "WBEM_E_INVALID_QUALIFIER"},
    {0x80041043, "WBEM_E_INVALID_DUPLICATE_PARAMETER"},
    {0x80041044, "WBEM_E_TOO_MUCH_DATA"},
    {0x80041045, "WBEM_E_SERVER_TOO_BUSY"},
    {0x80041046, "WBEM_E_INVALID_FLAVOR"},
    {0x80041047, "WBEM_E_CIRCULAR_REFERENCE"},
    {0x80041048, "WBEM_E_UNSUPPORTED_CLASS_UPDATE"},
    {0x80041049, "WBEM_E_CANNOT_CHANGE_KEY_INHERITANCE"},
    {0x80041050, "WBEM_E_CANNOT_CHANGE_INDEX_INHERITANCE"},
    {0x80041051, "WBEM_E_TOO_MANY_PROPERTIES"},
    {0x80041052, "WBEM_E_UPDATE_TYPE_MISMATCH"},
    {0x80041053, "WBEM_E_UPDATE_OVERRIDE_NOT_ALLOWED"},
    {0x80041054, "WBEM_E_UPDATE_PROPAGATED_METHOD"},
    {0x80041055, "WBEM_E_METHOD_NOT_IMPLEMENTED"},
    {0x80041056, "WBEM_E_METHOD_DISABLED"},
    {0x80042001, "WBEMESS_E_REGISTRATION_TOO_BROAD"},
    {0x80042002, "WBEMESS_E_REGISTRATION_TOO_PRECISE"},
};
static_assert(std::size(kWbemNames) == 82);

std::string hex8(WbemStatus code) {
    char text[16];
    std::snprintf(text, sizeof text, "%08lX", static_cast<unsigned long>(static_cast<std::uint32_t>(code)));
    return text;
}

std::string doubleBackslashes(const std::string& query) {
    std::string out;
    for (char c : query) {
        out += c;
        if (c == '\\') out += '\\';
    }
    return out;
}

[[noreturn]] void raise(IManagementService& service, WmiStep step, WbemStatus code) {
    throw WmiError(szWmiFailureMessage(service, step, code));
}

std::string realText(double v) {
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, v);
    return std::string(text, result.ptr);
}

// The text conversion of a variant that is not an embedded object.
std::string scalarText(const CimScalar& v) {
    struct Visitor {
        std::string operator()(bool b) const { return b ? "True" : "False"; }
        std::string operator()(std::int64_t i) const { return std::to_string(i); }
        std::string operator()(double d) const { return realText(d); }
        std::string operator()(const std::string& s) const { return s; }
        std::string operator()(const ManagementObjectPtr&) const { return "Unknown"; }
        std::string operator()(UnknownInterface) const { return "Unknown"; }
    };
    return std::visit(Visitor{}, v);
}

}  // namespace

std::string szWbemErrorName(WbemStatus code) {
    for (const auto& entry : kWbemNames)
        if (entry.code == static_cast<std::uint32_t>(code)) return entry.name;
    return szSystemErrorText(code);
}

std::string szWmiStatusText(IManagementService& service, WbemStatus code) {
    const StatusTextReply reply = service.statusText(code);
    if (!reply.available) return {};
    return reply.found ? reply.text : std::string(kWmiNoStatusText);
}

std::string szCimTypeName(std::int32_t cimType) {
    std::string prefix;
    const auto kind = static_cast<std::uint32_t>(cimType) & 0xF000u;
    if (kind == 0x2000u) prefix = "Array - ";
    else if (kind == 0x4000u) prefix = "Reference - ";
    static const std::pair<int, const char*> names[] = {
        {0, "Empty (null)"}, {1, "Null"},        {2, "Sint16"},   {3, "Sint32"},     {4, "Real32"},
        {5, "Real64"},       {8, "String"},      {11, "Boolean"}, {13, "Object"},    {16, "Sint8"},
        {17, "Uint8"},       {18, "Uint16"},     {19, "Uint32"},  {20, "Sint64"},    {21, "Uint64"},
        {101, "DateTime"},   {102, "Reference"}, {103, "Char16"}, {4095, "Illegal"},
    };
    const int base = static_cast<int>(static_cast<std::uint32_t>(cimType) & 0xFFFu);
    for (const auto& [code, name] : names)
        if (code == base) return prefix + name;
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(cimType));
    return prefix + text;
}

std::string szWmiFailureMessage(IManagementService& service, WmiStep step, WbemStatus code) {
    struct Format {
        const char* head;
        const char* tail;
        bool longForm;
    };
    static const std::array<Format, 8> formats = {{
        {"CoInitializeEx(): Failed to initialize COM library - 0x", "\n", false},
        {"CoInitializeSecurity()- Failed to initialize security: 0x", "\n", false},
        {"CoCreateInstance()- Create IWbemLocator object failed: 0x", "\n", false},
        {"IWbemLocator::ConnectServer(): 0x", " (", true},
        {"CoSetProxyBlanket(): 0x", " (", true},
        {"IWbemServices::ExecQuery(): 0x", " (", true},
        {"IEnumWbemClassObject::Next(): 0x", " (", true},
        {"IWbemClassObject::GetNames(): 0x", " (", true},
    }};
    const Format& f = formats[static_cast<std::size_t>(step)];
    std::string message = f.head + hex8(code) + f.tail + szWbemErrorName(code);
    if (f.longForm) message += ") - " + szWmiStatusText(service, code);
    return message;
}

bool bWmiInitialize(IManagementService& service) {
    service.uninitializeThread();
    WbemStatus hr = service.initializeThread();
    if (hr < 0) raise(service, WmiStep::CoInitializeEx, hr);
    hr = service.initializeSecurity();
    if (hr < 0) raise(service, WmiStep::CoInitializeSecurity, hr);
    return hr == 0;
}

void vWmiUninitialize(IManagementService& service) { service.uninitializeThread(); }

WbemStatus hrWmiConnect(IManagementService& service, const std::string& ns,
                        std::shared_ptr<IManagementNamespace>& services) {
    ConnectReply reply = service.connect(ns);
    if (reply.status != 0 || !reply.services) {
        static const WmiStep steps[] = {WmiStep::CreateLocator, WmiStep::ConnectServer, WmiStep::ProxyBlanket};
        const WbemStatus status = reply.status != 0 ? reply.status : wbemStatus(0x80041001);
        raise(service, steps[static_cast<std::size_t>(reply.failedStep)], status);
    }
    services = std::move(reply.services);
    return 0;
}

WbemStatus hrWmiExecQuery(IManagementService& service, IManagementNamespace& services, const std::string& query,
                          WmiPropertyList& list) {
    const QueryReply reply = services.execQuery("WQL", doubleBackslashes(query));
    if (reply.status < 0) raise(service, WmiStep::ExecQuery, reply.status);
    for (const auto& object : reply.objects) {
        if (object) hrWmiReadObject(service, *object, list, false);
    }
    if (reply.nextStatus < 0) raise(service, WmiStep::Next, reply.nextStatus);
    return 0;
}

WbemStatus hrWmiReadObject(IManagementService& service, const ManagementObject& object, WmiPropertyList& list,
                           bool allProperties) {
    if (object.namesStatus < 0) raise(service, WmiStep::GetNames, object.namesStatus);
    for (const auto& p : object.properties) {
        if (!allProperties && p.systemProperty) continue;
        hrWmiReadProperty(service, object, p.name, list);
    }
    return object.namesStatus;
}

WbemStatus hrWmiReadProperty(IManagementService& service, const ManagementObject& object, const std::string& name,
                             WmiPropertyList& list) {
    const ManagementProperty* property = nullptr;
    for (const auto& p : object.properties)
        if (::strcasecmp(p.name.c_str(), name.c_str()) == 0) property = &p;

    const WbemStatus status = property == nullptr ? wbemStatus(0x80041002) : property->readStatus;
    const std::int32_t type = property == nullptr ? 0 : property->cimType;
    const auto kind = property == nullptr ? CimValue::Kind::Null : property->value.kind;
    if (status != 0 || kind == CimValue::Kind::Null ||
        (kind == CimValue::Kind::Scalar && property->value.items.empty())) {
        list.append({name, kWmiNullValue, type, szCimTypeName(type), property ? property->originClass : ""});
        return status;
    }

    const bool isObject = (static_cast<std::uint32_t>(type) & 0xFFFu) == CimObject;
    const bool isArray = (static_cast<std::uint32_t>(type) & 0xF000u) == 0x2000u;
    const auto& items = property->value.items;
    const std::size_t count = isArray || kind == CimValue::Kind::Array ? items.size() : 1;
    for (std::size_t i = 0; i < count; ++i) {
        WmiProperty record;
        record.name = isArray || kind == CimValue::Kind::Array ? name + "[" + std::to_string(i) + "]" : name;
        record.value = isObject ? kWmiObjectFollows : scalarText(items[i]);
        record.cimType = type;
        record.cimTypeName = szCimTypeName(type);
        record.originClass = property->originClass;
        list.append(std::move(record));
        if (isObject) {
            // An embedded object follows its record, flat, with its own properties.
            if (const auto* embedded = std::get_if<ManagementObjectPtr>(&items[i]); embedded && *embedded)
                hrWmiReadObject(service, **embedded, list, false);
        }
    }
    return 0;
}

bool bWmiQuery(IManagementService& service, const std::string& ns, const std::string& query, WmiPropertyList& list) {
    list.clear();
    try {
        std::shared_ptr<IManagementNamespace> services;
        if (hrWmiConnect(service, ns, services) == 0 && services) hrWmiExecQuery(service, *services, query, list);
        return true;
    } catch (const WmiError&) {
        return false;
    }
}

}  // namespace kivota
