#include "profile/netsh_state.h"

#include <array>
#include <cstdio>
#include <optional>

#include "net/charset.h"
#include "profile/command_output.h"

namespace kivota {

namespace {

// Successive tokens in the manner of strtok: runs of delimiters are skipped, each token ends
// at the next delimiter, which is consumed, and the delimiters may change from call to call.
class Tokens {
public:
    explicit Tokens(std::string_view text) : text_(text) {}

    std::optional<std::string_view> next(std::string_view delimiters) {
        const auto start = text_.find_first_not_of(delimiters, pos_);
        if (start == std::string_view::npos) {
            pos_ = text_.size();
            return std::nullopt;
        }
        auto end = text_.find_first_of(delimiters, start);
        if (end == std::string_view::npos) {
            pos_ = text_.size();
            return text_.substr(start);
        }
        pos_ = end + 1;
        return text_.substr(start, end - start);
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

bool contains(std::string_view text, std::string_view word) { return text.find(word) != std::string_view::npos; }

// The code of a value: the index of the first word it contains, else the number of words.
int codeOf(std::string_view value, std::initializer_list<std::string_view> words) {
    int code = 0;
    for (auto w : words) {
        if (contains(value, w)) return code;
        ++code;
    }
    return code;
}

enum Position { Rss, Chimney, AutoTuning, Congestion, NetDma, Dca, Timestamps, PositionCount };

bool isUtf8(const std::string& bytes) {
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        std::size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (len == 0) return false;
        for (std::size_t k = 1; k < len; ++k) {
            if (i + k >= n) return true;  // cut off by the byte limit
            if ((static_cast<unsigned char>(bytes[i + k]) >> 6) != 0x2) return false;
        }
        i += len;
    }
    return true;
}

}  // namespace

std::string szParseNetshState(std::string_view text) {
    std::array<int, PositionCount> codes;
    codes.fill(-1);
    Tokens tokens(text);
    for (int header = 0; header < 4; ++header) tokens.next("\n");
    while (auto label = tokens.next(":")) {
        const std::string_view value = tokens.next("\r").value_or(std::string_view{});
        const std::string_view l = *label;
        if (contains(l, "Receive-Side Scaling State") || contains(l, "接收端的縮放狀態")) {
            codes[Rss] = codeOf(value, {"disabled", "enabled"});
        } else if (contains(l, "Chimney")) {
            codes[Chimney] = codeOf(value, {"disabled", "enabled", "automatic"});
        } else if (contains(l, "NetDMA")) {
            codes[NetDma] = codeOf(value, {"disabled", "enabled"});
        } else if (contains(l, "DCA")) {
            codes[Dca] = codeOf(value, {"disabled", "enabled"});
        } else if (contains(l, "Receive Window Auto-Tuning Level") || contains(l, "接收窗口自動調整層級") ||
                   contains(l, "接收視窗自動調整層級")) {
            codes[AutoTuning] = codeOf(value, {"disabled", "highlyrestricted", "restricted", "normal"});
        } else if (contains(l, "Add-On Congestion Control Provider") || contains(l, "附加元件壅塞控制提供者") ||
                   contains(l, "附加元件阻塞控制提供者")) {
            codes[Congestion] = codeOf(value, {"none", "ctcp"});
        } else if (contains(l, "RFC 1323")) {
            codes[Timestamps] = codeOf(value, {"disabled", "enabled"});
        }
    }
    char out[96];
    std::snprintf(out, sizeof out, "%d,%d,%d,%d,%d,%d,%d", codes[Rss], codes[Chimney], codes[AutoTuning],
                  codes[Congestion], codes[NetDma], codes[Dca], codes[Timestamps]);
    return out;
}

std::string szDecodeCommandOutput(const std::string& bytes) {
    if (isUtf8(bytes)) return bytes;
    return toUtf8(bytes, kCharsetCp950).value_or(bytes);
}

void vGetNetshState(std::string& szNetshState, const std::string& netshDir) {
    const auto output = runCommandOutput(kNetshCommandLine, netshDir, kNetshOutputLimit);
    if (!output) return;
    szNetshState = szParseNetshState(szDecodeCommandOutput(*output));
}

}  // namespace kivota
