#include "run/result_line.h"

#include <locale.h>  // NOLINT(modernize-deprecated-headers): the POSIX functions beside the C ones
#include <clocale>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "net/text_codecs.h"
#include "run/work_thread.h"

namespace kivota {

namespace {

// The server parses numbers with a '.' decimal point whatever the desktop's locale is (a UI
// toolkit may switch the process to the user's locale): format under the "C" locale.
class CNumericLocale {
public:
    CNumericLocale() : c_(newlocale(LC_NUMERIC_MASK, "C", nullptr)) {
        if (c_ != nullptr) previous_ = uselocale(c_);
    }
    ~CNumericLocale() {
        if (c_ != nullptr) {
            uselocale(previous_);
            freelocale(c_);
        }
    }
    CNumericLocale(const CNumericLocale&) = delete;
    CNumericLocale& operator=(const CNumericLocale&) = delete;

private:
    locale_t c_;
    locale_t previous_ = nullptr;
};

// printf into a string of whatever length the values need (interval series can be long).
__attribute__((format(printf, 1, 2))) std::string szFormat(const char* format, ...) {
    CNumericLocale numeric;
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string out;
    if (length > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, again);
        out.assign(buffer.data(), static_cast<std::size_t>(length));
    }
    va_end(again);
    return out;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> splitCommas(std::string_view s) {
    std::vector<std::string_view> items;
    for (;;) {
        const auto comma = s.find(',');
        items.push_back(s.substr(0, comma));
        if (comma == std::string_view::npos) break;
        s.remove_prefix(comma + 1);
    }
    return items;
}

std::string szTcpSessions(const CWorkThread& w) { return szFormat("%d,%d", w.ulStarted, w.dlStarted); }

}  // namespace

std::string szHotFixAnswer(std::string_view asked, std::string_view installed) {
    const auto installedIds = splitCommas(installed);
    std::string answer;
    for (std::string_view item : splitCommas(asked)) {
        const std::string_view id = trimBlanks(item);
        if (id.empty()) continue;
        bool found = false;
        for (std::string_view have : installedIds) found = found || have == id;
        if (!answer.empty()) answer += ',';
        answer += id;
        answer += found ? ":1" : ":0";
    }
    return answer;
}

std::string szCookieValue(std::string_view cookie) {
    const auto equals = cookie.find('=');
    if (equals == std::string_view::npos) return {};
    std::string_view value = cookie.substr(equals + 1);
    const auto end = value.find_first_of(" \n");
    return std::string(value.substr(0, end));
}

int iCpuUsage(const ResourceSums& sums, bool isVistaOrLater) {
    if (sums.resourceSamples <= 0) return -1;  // no sample taken: nothing to average
    if (isVistaOrLater && sums.cpuLoadSum == 0.0) return -1;
    return static_cast<int>(sums.cpuLoadSum / sums.resourceSamples);
}

std::string szCoreUsage(const ResourceSums& sums, int coreCount, int cpuUsage) {
    if (coreCount < 2) return std::to_string(cpuUsage);
    std::string text;
    for (int core = 0; core < coreCount; ++core) {
        if (core > 0) text += ',';
        const auto index = static_cast<std::size_t>(core);
        const double sum = index < sums.coreLoadSums.size() ? sums.coreLoadSums[index] : -1.0;
        if (sum < 0.0 || sums.resourceSamples <= 0) text += "-1";
        else text += szFormat("%.2f", sum / sums.resourceSamples);
    }
    return text;
}

std::string szMemoryText(const ResourceSums& sums, int memTotalMb) {
    const int freeMb = sums.resourceSamples > 0 ? sums.memFreeSumMb / sums.resourceSamples : -1;
    return szFormat("%d,%d", freeMb, memTotalMb);
}

std::string szResultQuery(const CWorkThread& w, std::string_view cookieValue) {
    const RunState& rs = w.rs;
    const ResourceSums sums = rs.profile.resources.snapshot();  // one consistent set of samples
    const int cpuUsage = iCpuUsage(sums, w.isVistaOrLater);
    const std::string errorCode = std::to_string(static_cast<int>(rs.errorCode.load()));
    const std::string authCode = szAuthCode(rs.profile.userLocalIp, cookieValue);
    std::string query = szFormat(
        "App_ver=%s&DL_FTP_speed=%.02f&UL_FTP_speed=%.02f&DL_NIC_speed=%.02f&UL_NIC_speed=%.02f"
        "&UL_at_DL_Test=%.02f&DL_at_UL_Test=%.02f&User_os=%s&User_antivir=%s&User_nic=%s"
        "&user_nic_rate=%ld&User_pppoe=%s&User_localip=%s&User_net_parameter=%s"
        "&DL_FTP_speed_interval=%s&UL_FTP_speed_interval=%s&DL_NIC_speed_interval=%s"
        "&UL_NIC_speed_interval=%s&RTT=%s&Tcp_session=%s&User_Proxy=%s&CPU=%s&CPU_usage=%d"
        "&Core_Usage=%s&Memory=%s&HD_FreeSpace=%.02f&Power=%s&error_code=%s&auth_code=%s",
        rs.appVer.c_str(), rs.dlFtpKbps, rs.ulFtpKbps, w.dlNicKbps, w.ulNicKbps, w.ulAtDlKbps, w.dlAtUlKbps,
        rs.profile.userOs.c_str(), rs.profile.userAntivir.c_str(), rs.profile.userNic.c_str(),
        static_cast<long>(rs.profile.nicRate), rs.profile.userPppoe.c_str(), rs.profile.userLocalIp.c_str(),
        rs.profile.netParameter.c_str(), szFtpItems(w.dlSeries).c_str(), szFtpItems(w.ulSeries).c_str(),
        szAdapterItems(w.dlSeries).c_str(), szAdapterItems(w.ulSeries).c_str(), rs.rttText.c_str(),
        szTcpSessions(w).c_str(), rs.profile.userProxy.c_str(), rs.profile.cpuName.c_str(), cpuUsage,
        szCoreUsage(sums, rs.profile.coreCount, cpuUsage).c_str(), szMemoryText(sums, rs.profile.memTotalMb).c_str(),
        static_cast<double>(rs.profile.diskFreeGb), rs.profile.powerStatus.c_str(), errorCode.c_str(),
        authCode.c_str());
    if (!rs.completionCode.empty()) query += szFormat("&QUELM=%s", rs.completionCode.c_str());
    if (!w.hotfixQuery.empty())
        query += szFormat("&HotFix=%s", szHotFixAnswer(w.hotfixQuery, rs.profile.hotfixList).c_str());
    return query;
}

std::string szResultFileLine(const CWorkThread& w, std::string_view startTime) {
    const RunState& rs = w.rs;
    const ResourceSums sums = rs.profile.resources.snapshot();  // one consistent set of samples
    const int cpuUsage = iCpuUsage(sums, w.isVistaOrLater);
    const std::string errorCode = std::to_string(static_cast<int>(rs.errorCode.load()));
    const std::string start(startTime);
    return szFormat(
        "%s\tApp_ver=%s&DL_FTP_speed=%.02f&UL_FTP_speed=%.02f&DL_NIC_speed=%.02f&UL_NIC_speed=%.02f"
        "&UL_at_DL_Test=%.02f&DL_at_UL_Test=%.02f&User_os=%s&User_antivir=%s&User_nic=%s"
        "&user_nic_rate=%ld&User_pppoe=%s&User_localip=%s&User_net_parameter=%s"
        "&DL_FTP_speed_interval=%s&UL_FTP_speed_interval=%s&DL_NIC_speed_interval=%s"
        "&UL_NIC_speed_interval=%s&RTT=%s&Tcp_session=%s&User_Proxy=%s&CPU=%s&CPU_usage=%d"
        "&Memory=%s&HD_FreeSpace=%.02f&Power=%s&error_code=%s",
        start.c_str(), rs.appVer.c_str(), rs.dlFtpKbps, rs.ulFtpKbps, w.dlNicKbps, w.ulNicKbps, w.ulAtDlKbps,
        w.dlAtUlKbps, rs.profile.userOs.c_str(), rs.profile.userAntivir.c_str(), rs.profile.userNic.c_str(),
        static_cast<long>(rs.profile.nicRate), rs.profile.userPppoe.c_str(), rs.profile.userLocalIp.c_str(),
        rs.profile.netParameter.c_str(), szFtpItems(w.dlSeries).c_str(), szFtpItems(w.ulSeries).c_str(),
        szAdapterItems(w.dlSeries).c_str(), szAdapterItems(w.ulSeries).c_str(), rs.rttText.c_str(),
        szTcpSessions(w).c_str(), rs.profile.userProxy.c_str(), rs.profile.cpuName.c_str(), cpuUsage,
        szMemoryText(sums, rs.profile.memTotalMb).c_str(), static_cast<double>(rs.profile.diskFreeGb),
        rs.profile.powerStatus.c_str(), errorCode.c_str());
}

std::string szResultBody(std::string_view query, std::string_view cookieValue, int random1, int random2) {
    const std::string key = szPickKey(cookieValue);
    if (key.empty()) return {};
    const std::string text = szFormat("Null=%d%d&", random1, random2) + std::string(query);
    std::vector<unsigned char> utf16;
    iToUnicodeBytes(text, utf16);
    std::string hex;
    iToHex(utf16, hex);
    return "code=" + szXorHex(key, hex);
}

}  // namespace kivota
