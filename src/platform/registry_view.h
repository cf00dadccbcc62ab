#pragma once
// A read-only view of the registry values the profile reads (TCP/IP and socket driver
// parameters, the proxy setting, the processor name). Values are typed: a 32-bit integer or a
// string; reading a value as the other type fails, as it does on the registry itself.
//
// Thread: any thread; the view keeps no mutable state.
// Failure: a read of a missing key or value, or of the wrong type, returns false and leaves
// the destination alone. An implementation may throw for a read it is denied; callers guard
// each read on its own.

#include <cstdint>
#include <string>

namespace kivota {

enum class RegistryRoot { LocalMachine, CurrentUser };

class IRegistryView {
public:
    virtual ~IRegistryView() = default;

    // true when the key can be opened (the values of a key that does not open keep defaults).
    virtual bool openKey(RegistryRoot root, const std::string& key) const = 0;
    virtual bool valueExists(RegistryRoot root, const std::string& key, const std::string& name) const = 0;
    virtual bool readInteger(RegistryRoot root, const std::string& key, const std::string& name,
                             std::int32_t& value) const = 0;
    virtual bool readString(RegistryRoot root, const std::string& key, const std::string& name,
                            std::string& value) const = 0;
};

// The keys the profile reads.
inline constexpr const char* kTcpipParametersKey = "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters";
inline constexpr const char* kAfdParametersKey = "SYSTEM\\CurrentControlSet\\Services\\AFD\\Parameters";
inline constexpr const char* kInternetSettingsKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
inline constexpr const char* kCentralProcessorKey = "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";

}  // namespace kivota
