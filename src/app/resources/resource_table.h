#pragma once
// The program's own pictures, looked up by resource type and name as the window loads them.
// Type and name compare without regard to ASCII case, as resource look-ups always have.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kivota {

// Bytes of the resource; an empty span when there is none of that type and name.
// The bytes live as long as the program.
std::span<const std::uint8_t> findResource(std::string_view type, std::string_view name);

// Names of all resources of a type, sorted.
std::vector<std::string> resourceNames(std::string_view type);

}  // namespace kivota
