#include "app/resources/resource_table.h"

#include <algorithm>

#include "app/resources/embedded_resources.h"

namespace kivota {
namespace {

bool sameIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

std::span<const embedded::EmbeddedResource> entries() { return {embedded::kResources, embedded::kResourceCount}; }

}  // namespace

std::span<const std::uint8_t> findResource(std::string_view type, std::string_view name) {
    for (const embedded::EmbeddedResource& entry : entries()) {
        if (entry.data != nullptr && sameIgnoringCase(entry.type, type) && sameIgnoringCase(entry.name, name)) {
            return {entry.data, *entry.size};
        }
    }
    return {};
}

std::vector<std::string> resourceNames(std::string_view type) {
    std::vector<std::string> names;
    for (const embedded::EmbeddedResource& entry : entries()) {
        if (entry.data != nullptr && sameIgnoringCase(entry.type, type)) {
            names.emplace_back(entry.name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace kivota
