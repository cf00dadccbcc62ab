#pragma once
// The words by which an adapter description names a wireless link. The survey classifies by
// them, and the Linux stack puts one into the description of every wireless adapter it reports.

#include <array>
#include <string_view>

namespace kivota {

inline constexpr std::array<std::string_view, 4> kWirelessWords = {"Wireless", "WiFi", "802.11", "Wi-Fi"};

// Whether a description contains one of the words, case-sensitively.
inline bool bNamesWirelessLink(std::string_view description) {
    for (const auto word : kWirelessWords) {
        if (description.find(word) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace kivota
