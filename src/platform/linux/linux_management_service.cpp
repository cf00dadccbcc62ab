#include "platform/linux/linux_management_service.h"

#include <strings.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <sstream>

#include "platform/linux/sysctl_reader.h"

namespace kivota {

namespace {

bool sameName(const std::string& a, const std::string& b) { return ::strcasecmp(a.c_str(), b.c_str()) == 0; }

std::string unquoted(std::string v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        v = v.substr(1, v.size() - 2);
    return v;
}

std::optional<std::string> osPrettyName() {
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        const auto text = readTextFile(path);
        if (!text) continue;
        std::istringstream in(*text);
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("PRETTY_NAME=", 0) == 0) return unquoted(line.substr(12));
        }
    }
    return std::nullopt;
}

CimValue text(std::optional<std::string> v) { return v ? CimValue::scalar(std::move(*v)) : CimValue::null(); }

ManagementProperty property(std::string name, std::int32_t type, std::string origin, CimValue value) {
    ManagementProperty p;
    p.name = std::move(name);
    p.cimType = type;
    p.originClass = std::move(origin);
    p.value = std::move(value);
    return p;
}

std::vector<ManagementObject> operatingSystem() {
    ManagementObject os;
    utsname names{};
    std::optional<std::string> release;
    if (::uname(&names) == 0) release = std::string(names.release);
    os.properties.push_back(property("Caption", CimString, "CIM_ManagedSystemElement", text(osPrettyName())));
    os.properties.push_back(property("CSDVersion", CimString, "Win32_OperatingSystem", CimValue::null()));
    os.properties.push_back(
        property("SystemDrive", CimString, "Win32_OperatingSystem", CimValue::scalar(std::string("/"))));
    os.properties.push_back(property("Version", CimString, "CIM_OperatingSystem", text(release)));
    return {os};
}

std::vector<ManagementObject> processor() {
    ManagementObject cpu;
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    cpu.properties.push_back(property("Name", CimString, "CIM_ManagedSystemElement", text(cpuModelName())));
    cpu.properties.push_back(
        property("NumberOfLogicalProcessors", CimUint32, "Win32_Processor",
                 online > 0 ? CimValue::scalar(static_cast<std::int64_t>(online)) : CimValue::null()));
    return {cpu};
}

std::vector<ManagementObject> logicalDisks() {
    std::vector<ManagementObject> disks;
    const auto mounts = readTextFile("/proc/self/mounts");
    const auto filesystems = readTextFile("/proc/filesystems");
    if (!mounts) return disks;
    for (const auto& fs : localFileSystems(*mounts, filesystems.value_or(""))) {
        ManagementObject disk;
        struct statvfs st {};
        CimValue free = CimValue::null();
        if (::statvfs(fs.mountPoint.c_str(), &st) == 0)
            free = CimValue::scalar(
                std::to_string(static_cast<std::uint64_t>(st.f_bfree) * static_cast<std::uint64_t>(st.f_frsize)));
        disk.properties.push_back(
            property("Caption", CimString, "CIM_ManagedSystemElement", CimValue::scalar(fs.mountPoint)));
        disk.properties.push_back(property("FreeSpace", CimUint64, "CIM_LogicalDisk", std::move(free)));
        disks.push_back(std::move(disk));
    }
    return disks;
}

std::vector<ManagementObject> quickFixes() {
    std::vector<ManagementObject> fixes;
    std::error_code ec;
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/kernel/livepatch", ec)) {
        const auto enabled = readTextFile((entry.path() / "enabled").string());
        if (enabled && !enabled->empty() && enabled->front() == '0') continue;
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    for (auto& name : names) {
        ManagementObject fix;
        fix.properties.push_back(
            property("HotFixID", CimString, "Win32_QuickFixEngineering", CimValue::scalar(std::move(name))));
        fixes.push_back(std::move(fix));
    }
    return fixes;
}

struct AntivirusEngine {
    const char* displayName;
    std::vector<const char*> programs;  // any one of them installed
};

std::vector<ManagementObject> antivirusProducts() {
    static const AntivirusEngine engines[] = {
        {"ClamAV", {"/usr/bin/clamscan", "/usr/sbin/clamd", "/usr/bin/clamdscan"}},
    };
    std::vector<ManagementObject> products;
    for (const auto& engine : engines) {
        const bool installed = std::any_of(engine.programs.begin(), engine.programs.end(),
                                           [](const char* p) { return ::access(p, X_OK) == 0; });
        if (!installed) continue;
        ManagementObject product;
        product.properties.push_back(
            property("displayName", CimString, "AntiVirusProduct", CimValue::scalar(std::string(engine.displayName))));
        products.push_back(std::move(product));
    }
    return products;
}

enum class Namespace { Cimv2, SecurityCenter };

struct ClassEntry {
    const char* name;
    Namespace ns;
    std::vector<const char*> properties;
    std::vector<ManagementObject> (*objects)();
};

// The classes answered, built on first use (so that no exception can escape before main).
const std::vector<ClassEntry>& classes() {
    static const std::vector<ClassEntry> entries{
        {"Win32_OperatingSystem",
         Namespace::Cimv2,
         {"Caption", "CSDVersion", "SystemDrive", "Version"},
         operatingSystem},
        {"Win32_Processor", Namespace::Cimv2, {"Name", "NumberOfLogicalProcessors"}, processor},
        {"Win32_LogicalDisk", Namespace::Cimv2, {"Caption", "FreeSpace"}, logicalDisks},
        {"Win32_QuickFixEngineering", Namespace::Cimv2, {"HotFixID"}, quickFixes},
        {"AntiVirusProduct", Namespace::SecurityCenter, {"displayName"}, antivirusProducts},
    };
    return entries;
}

class LinuxNamespace final : public IManagementNamespace {
public:
    explicit LinuxNamespace(Namespace ns) : ns_(ns) {}

    QueryReply execQuery(const std::string& language, const std::string& query) override {
        QueryReply reply;
        WqlSelect select;
        if (!sameName(language, "WQL") || !parseWqlSelect(query, select)) {
            reply.status = kWbemInvalidQuery;
            return reply;
        }
        const ClassEntry* entry = nullptr;
        for (const auto& c : classes())
            if (c.ns == ns_ && sameName(c.name, select.className)) entry = &c;
        if (entry == nullptr) {
            reply.status = kWbemInvalidClass;
            return reply;
        }
        for (const auto& wanted : select.properties) {
            const bool known = std::any_of(entry->properties.begin(), entry->properties.end(),
                                           [&](const char* p) { return sameName(p, wanted); });
            if (!known) {
                reply.status = kWbemInvalidQuery;
                return reply;
            }
        }
        for (auto& object : entry->objects()) {
            if (!select.properties.empty()) {
                std::erase_if(object.properties, [&](const ManagementProperty& p) {
                    return std::none_of(select.properties.begin(), select.properties.end(),
                                        [&](const std::string& w) { return sameName(w, p.name); });
                });
            }
            reply.objects.push_back(std::make_shared<const ManagementObject>(std::move(object)));
        }
        return reply;
    }

private:
    Namespace ns_;
};

class LinuxManagementService final : public IManagementService {
public:
    ConnectReply connect(const std::string& ns) override {
        std::string name = ns;
        std::replace(name.begin(), name.end(), '/', '\\');
        ConnectReply reply;
        if (sameName(name, kCimv2Namespace)) {
            reply.services = std::make_shared<LinuxNamespace>(Namespace::Cimv2);
        } else if (sameName(name, "root\\SecurityCenter") || sameName(name, "root\\SecurityCenter2")) {
            reply.services = std::make_shared<LinuxNamespace>(Namespace::SecurityCenter);
        } else {
            reply.status = kWbemInvalidNamespace;
            reply.failedStep = ConnectStep::ConnectServer;
        }
        return reply;
    }

    StatusTextReply statusText(WbemStatus code) override {
        struct Text {
            std::uint32_t code;
            const char* text;
        };
        static const Text texts[] = {
            {0x80041001, "Generic failure"},    {0x80041002, "Not found"},      {0x80041003, "Access denied"},
            {0x80041008, "Invalid parameter"},  {0x8004100C, "Not supported"},  {0x8004100E, "Invalid namespace"},
            {0x8004100F, "Invalid object"},     {0x80041010, "Invalid class"},  {0x80041017, "Invalid query"},
            {0x80041018, "Invalid query type"}, {0x80041032, "Call cancelled"}, {0x80041033, "Shutting down"},
        };
        StatusTextReply reply;
        for (const auto& t : texts) {
            if (static_cast<std::uint32_t>(code) == t.code) {
                reply.found = true;
                reply.text = t.text;
            }
        }
        return reply;
    }
};

std::string decodeMountField(const std::string& field) {
    // The kernel writes blanks, tabs, newlines and backslashes of a path as \ooo.
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && std::isdigit(static_cast<unsigned char>(field[i + 1])) &&
            std::isdigit(static_cast<unsigned char>(field[i + 2])) &&
            std::isdigit(static_cast<unsigned char>(field[i + 3]))) {
            out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

}  // namespace

bool parseWqlSelect(const std::string& query, WqlSelect& out) {
    // Tokens: words, "*" and ","; blanks separate them.
    std::vector<std::string> tokens;
    std::string word;
    auto flush = [&] {
        if (!word.empty()) tokens.push_back(word);
        word.clear();
    };
    for (char c : query) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            flush();
        } else if (c == ',' || c == '*') {
            flush();
            tokens.emplace_back(1, c);
        } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_') {
            word += c;
        } else {
            return false;
        }
    }
    flush();
    if (tokens.size() < 4 || !sameName(tokens[0], "select")) return false;
    WqlSelect select;
    std::size_t i = 1;
    if (tokens[i] == "*") {
        ++i;
    } else {
        while (true) {
            if (i >= tokens.size() || tokens[i] == "," || tokens[i] == "*" || sameName(tokens[i], "from")) return false;
            select.properties.push_back(tokens[i++]);
            if (i < tokens.size() && tokens[i] == ",") {
                ++i;
                continue;
            }
            break;
        }
    }
    if (i + 2 != tokens.size() || !sameName(tokens[i], "from")) return false;
    const std::string& cls = tokens[i + 1];
    if (cls == "," || cls == "*") return false;
    select.className = cls;
    out = std::move(select);
    return true;
}

std::vector<MountEntry> localFileSystems(const std::string& mountsText, const std::string& filesystemsText) {
    std::set<std::string> pseudo;
    {
        std::istringstream in(filesystemsText);
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            std::string first, second;
            fields >> first >> second;
            if (first == "nodev" && !second.empty()) pseudo.insert(second);
        }
    }
    std::vector<MountEntry> result;
    std::istringstream in(mountsText);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string device, mountPoint, type;
        if (!(fields >> device >> mountPoint >> type)) continue;
        mountPoint = decodeMountField(mountPoint);
        const std::string mainType = type.substr(0, type.find('.'));  // "fuse.sshfs" is a "fuse"
        if (mountPoint != "/" && pseudo.count(mainType) != 0) continue;
        auto same =
            std::find_if(result.begin(), result.end(), [&](const MountEntry& e) { return e.mountPoint == mountPoint; });
        if (same != result.end()) same->fsType = type;
        else result.push_back({mountPoint, type});
    }
    return result;
}

std::shared_ptr<IManagementService> makeLinuxManagementService() { return std::make_shared<LinuxManagementService>(); }

}  // namespace kivota
