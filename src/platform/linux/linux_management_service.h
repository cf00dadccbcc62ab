#pragma once
// The management service on Linux: WQL "Select * from C" and "Select P[, Q...] from C" in
// root\CIMV2, root\SecurityCenter and root\SecurityCenter2 (names case-insensitive), answered
// from the machine each time a query runs:
//   Win32_OperatingSystem     Caption (PRETTY_NAME of os-release), CSDVersion (null),
//                             SystemDrive "/", Version (kernel release)
//   Win32_Processor           Name (model name of /proc/cpuinfo), NumberOfLogicalProcessors
//   Win32_LogicalDisk         one object per local file system mounted: Caption = mount point,
//                             FreeSpace = free bytes (a uint64 travels as decimal text)
//   Win32_QuickFixEngineering HotFixID = each kernel live patch loaded
//   AntiVirusProduct          displayName of each antivirus engine installed (SecurityCenter
//                             namespaces only)
// An unknown namespace answers 0x8004100E, an unknown class 0x80041010, anything else that
// is not such a query (or names a property the class lacks) 0x80041017.

#include <memory>
#include <string>
#include <vector>

#include "platform/management_service.h"

namespace kivota {

std::shared_ptr<IManagementService> makeLinuxManagementService();

struct WqlSelect {
    std::vector<std::string> properties;  // empty for "*"
    std::string className;
};
// Parses the two query forms; false for anything else.
bool parseWqlSelect(const std::string& query, WqlSelect& out);

struct MountEntry {
    std::string mountPoint;
    std::string fsType;
};
// The local file systems of a mounts table (as /proc/self/mounts): pseudo and network-less
// in-memory file systems (the "nodev" types of /proc/filesystems) are left out, except the
// root, which always counts; a mount point mounted over keeps its place with the last mount.
std::vector<MountEntry> localFileSystems(const std::string& mountsText, const std::string& filesystemsText);

}  // namespace kivota
