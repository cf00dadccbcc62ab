#include "net/ftp_client.h"

#include "net/ftp_reply.h"
#include "net/host_port.h"
#include "platform/clock.h"
#include "platform/error_text.h"

#include <linux/sockios.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kivota {

namespace {

constexpr long kConnectLimitMs = 2000;
// Bounds every wait for a server reply (login, SIZE, CWD, 150 before data, 226 after STOR),
// so that a silent server cannot hold a connection forever.
constexpr long kReplyLimitSec = 10;
// How long a download stop waits for the server's answer to ABOR before dropping the line.
constexpr int kAbortReplyLimitMs = 1500;
// libcurl's limits for its receive and upload buffers.
constexpr long kMinBufferSize = 16L * 1024;
constexpr long kMaxRecvBufferSize = CURL_MAX_READ_SIZE;
constexpr long kMaxUploadBufferSize = 2L * 1024 * 1024;
// Longest wait between two passes over the sockets. libcurl's own loop waits up to a second
// while a socket is neither readable nor writable, and an upload whose send queue is full
// would then count what the server acknowledged a second late; a stop would wait as long.
constexpr int kPassIntervalMs = 20;
// How long past its second a rate sample may wait for the data connections' bytes to be in
// order (a lost segment is resent within a round trip or two).
constexpr std::int64_t kInOrderWaitMs = 700;
constexpr auto kPairedReadLimit = std::chrono::microseconds(500);
constexpr int kPairedReadAttempts = 3;
constexpr std::int64_t kBaselineInOrderWaitMs = 1500;

std::size_t iDiscard(char*, std::size_t size, std::size_t count, void*) { return size * count; }

long iClamp(long value, long low, long high) { return std::min(std::max(value, low), high); }

std::string szTimeOfDay(const LocalTime& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return text;
}

}  // namespace

const char* szFtpStatusName(int code) {
    switch (code) {
        case hsResolving: return "hsResolving";
        case hsConnecting: return "hsConnecting";
        case hsConnected: return "hsConnected";
        case hsDisconnecting: return "hsDisconnecting";
        case hsDisconnected: return "hsDisconnected";
        case hsStatusText: return "hsStatusText";
        case ftpTransfer: return "ftpTransfer";
        case ftpReady: return "ftpReady";
        case ftpAborted: return "ftpAborted";
        default: return "Unknown";
    }
}

FtpSharedCounters& ftpSharedCounters() {
    static auto* counters = new FtpSharedCounters;
    return *counters;
}

FtpClient::FtpClient(std::shared_ptr<IClock> clock, FtpSharedCounters& counters)
    : clock_(std::move(clock)), counters_(counters), curl_(curl_easy_init()), multi_(curl_multi_init()) {}

FtpClient::~FtpClient() {
    counters_.vStopReporting(this);
    // Leave without QUIT: a dead control connection makes libcurl skip the farewell.
    const int fd = controlSocket_.load();
    if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
    if (curl_) curl_easy_cleanup(curl_);
    if (multi_) curl_multi_cleanup(multi_);  // closes the cached control connection
}

CURLcode FtpClient::ePerform() {
    if (!curl_ || !multi_) return CURLE_FAILED_INIT;
    CURLMcode mc = curl_multi_add_handle(multi_, curl_);
    int running = 1;
    while (mc == CURLM_OK) {
        mc = curl_multi_perform(multi_, &running);
        if (mc != CURLM_OK || running == 0) break;
        if (pump_.bActive()) {
            vRunPump();  // waits on the data connection instead of libcurl's sockets
        } else {
            mc = curl_multi_poll(multi_, nullptr, 0, kPassIntervalMs, nullptr);
        }
    }
    pump_.vStop();
    CURLcode rc = mc == CURLM_OUT_OF_MEMORY ? CURLE_OUT_OF_MEMORY : CURLE_FAILED_INIT;
    int queued = 0;
    while (CURLMsg* m = curl_multi_info_read(multi_, &queued)) {
        if (m->msg == CURLMSG_DONE && m->easy_handle == curl_) rc = m->data.result;
    }
    // The connection is known only while the handle belongs to the multi handle.
    lastSocket_ = CURL_SOCKET_BAD;
    curl_easy_getinfo(curl_, CURLINFO_ACTIVESOCKET, &lastSocket_);
    curl_multi_remove_handle(multi_, curl_);
    return rc;
}

void FtpClient::vRunPump() {
    const FtpDataPump::Pass pass = pump_.ePass(kPassIntervalMs);
    if (pump_.bUpload()) m_nAppBytes = pump_.iMoved();  // libcurl had sent nothing before the pump
    if (pass == FtpDataPump::Pass::Going) return;
    pump_.vStop();
    // libcurl resumes: a download's held first block is delivered, and libcurl meets the
    // connection's end or failure itself; an upload asks the read callback, which ends it.
    // A refused download stays paused: its progress callback ends the transfer.
    if (pass == FtpDataPump::Pass::Ended) curl_easy_pause(curl_, CURLPAUSE_CONT);
}

bool FtpClient::bTakeOverDownload(std::function<bool(std::size_t)> onReceived) {
    if (takenOver_) return false;
    takenOver_ = true;
    const auto readSize = static_cast<std::size_t>(iClamp(m_nRecvBufferSize, kMinBufferSize, kMaxRecvBufferSize));
    return pump_.bStartDownload(dataSocket_.load(), readSize, std::move(onReceived));
}

bool FtpClient::bTakeOverUpload(const std::string& block, std::size_t offset, std::function<bool()> goesOn) {
    if (takenOver_) return false;
    takenOver_ = true;
    return pump_.bStartUpload(dataSocket_.load(), block, offset, std::move(goesOn));
}

void FtpClient::vBind(TFTPClass* owner, FtpCallbacks callbacks) {
    std::lock_guard lock(callbackLock_);
    owner_ = owner;
    callbacks_ = std::move(callbacks);
}

void FtpClient::vSetCallbacks(FtpCallbacks callbacks) {
    std::lock_guard lock(callbackLock_);
    callbacks_ = std::move(callbacks);
}

bool FtpClient::bIsFirstOf(int workMode) const { return m_szName == (workMode == wmRead ? "FTPDL1" : "FTPUL1"); }

// --- events -------------------------------------------------------------------------------

void FtpClient::vLog(const std::string& text) {
    std::lock_guard lock(callbackLock_);
    if (owner_ && callbacks_.onLog) callbacks_.onLog(*owner_, text);
}

void FtpClient::vConnectedEvent() {
    m_bConnected = 1;
    vStatus(hsConnected);
    std::lock_guard lock(callbackLock_);
    if (owner_ && callbacks_.onConnected) callbacks_.onConnected(*owner_);
}

void FtpClient::vDisconnectedEvent() {
    if (m_bConnected.exchange(0) == 0) return;
    vStatus(hsDisconnected);
    std::lock_guard lock(callbackLock_);
    if (owner_ && callbacks_.onDisconnected) callbacks_.onDisconnected(*owner_);
}

void FtpClient::vWorkBegin(int workMode, std::int64_t countMax) {
    if (m_bBusy.load() == 0) return;
    if (bIsFirstOf(workMode)) {
        counters_.vStartPhase(workMode == wmWrite);
        counters_.reporter = this;
        counters_.phaseStartMark = counters_.lastSampleMark = clock_->now();
        counters_.ftpElapsedMs = 0;
        counters_.ftpBytesAtSample = 0;
        counters_.phaseBegun.store(true);
        m_dRate = 0.0;
    }
    vRenewBegin(workMode, countMax);  // what every transfer of the connection begins with
}

void FtpClient::vRenewBegin(int workMode, std::int64_t countMax) {
    if (m_bBusy.load() == 0) return;
    m_nLastCount = 0;
    m_bKernelCounted = false;
    ++m_nTransfers;
    vLog(m_szName + " 第 " + std::to_string(m_nTransfers) + " 次下載");
    vLog(m_szName + " " + szTimeOfDay(clock_->localTime()) + " " + (workMode == wmRead ? "wmRead" : "wmWrite") +
         " WorkBegin() - WorkCountMax = " + std::to_string(countMax));
}

FtpClient::WorkAction FtpClient::eWork(int workMode, std::int64_t count) {
    if (!curl_ || m_bBusy.load() == 0) return WorkAction::Continue;
    if (m_bStop.load() != 0) return WorkAction::Stop;

    if (count < m_nLastCount) m_nLastCount = 0;  // a new transfer began
    // A transfer over a kernel-counted socket is counted when the rate is sampled.
    if (!m_bKernelCounted.load()) counters_.iAdd(count - m_nLastCount);
    m_nLastCount = count;

    if (!counters_.bReports(this, workMode == wmWrite)) return WorkAction::Continue;
    const IClock::Mark now = clock_->now();
    const std::int64_t sinceSample = std::abs(now - counters_.lastSampleMark) * 1000 / clock_->frequency();
    if (sinceSample < 1000) return WorkAction::Continue;
    // A sample waits a little for bytes held beyond a hole (a lost segment) to be counted; the
    // phase's first, its baseline, longer: the losses of the connections' start take longest.
    const bool baseline = counters_.lastSampleMark == counters_.phaseStartMark;
    if (sinceSample < 1000 + (baseline ? kBaselineInOrderWaitMs : kInOrderWaitMs) && !counters_.bInOrder()) {
        return WorkAction::Continue;
    }

    std::lock_guard lock(callbackLock_);
    if (!owner_ || !callbacks_.onProgress) return WorkAction::Continue;
    // The total of this moment, and the rate over exactly the milliseconds the owner's report
    // spans (elapsed now less elapsed at the previous sample): the owner divides the adapter's
    // octets, read right after, by the same interval. A pair of readings that took long (the
    // thread lost its core between them) is read again: a millisecond between them is a
    // thousandth of the second they measure.
    std::int64_t total = 0;
    IClock::Mark sampledAt = now;
    for (int attempt = 1;; ++attempt) {
        const auto pairStart = std::chrono::steady_clock::now();
        total = counters_.iRefreshFromKernel();
        sampledAt = clock_->now();
        if (callbacks_.onSampleMoment) callbacks_.onSampleMoment(*owner_);
        if (attempt == kPairedReadAttempts || std::chrono::steady_clock::now() - pairStart <= kPairedReadLimit) break;
    }
    const std::int64_t elapsedMs = (sampledAt - counters_.phaseStartMark) * 1000 / clock_->frequency();
    const std::int64_t intervalMs = std::max<std::int64_t>(elapsedMs - counters_.ftpElapsedMs, 1);
    counters_.lastSampleMark = sampledAt;
    m_dRate = static_cast<double>(total - counters_.ftpBytesAtSample) * 8000.0 / static_cast<double>(intervalMs);
    counters_.ftpBytesAtSample = total;
    counters_.ftpElapsedMs = elapsedMs;
    callbacks_.onProgress(*owner_, workMode, m_dRate, counters_.ftpElapsedMs, total);
    return WorkAction::Continue;
}

void FtpClient::vWorkEnd(int) {
    // The phase goes on without this transfer: another connection reports from now on.
    counters_.vStopReporting(this);
    if (m_bBusy.load() == 0) return;
    m_nLastCount = 0;
    bool logging = false;
    {
        std::lock_guard lock(callbackLock_);
        logging = owner_ && callbacks_.onLog;
    }
    if (logging && m_bStop.load() == 1) {
        m_bStop = 0;
        m_bBusy = 0;
    }
}

// --- commands -----------------------------------------------------------------------------

std::string FtpClient::szUrl(const std::string& path) const {
    // "host:port" names its port; a plain host takes the configured one.
    std::string host = m_szHost;
    int port = m_nPort;
    vSplitHostPort(host, port);
    std::string url = "ftp://" + host + ":" + std::to_string(port) + "/";
    // Escape each path segment, keeping the separators.
    std::size_t start = 0;
    while (start <= path.size()) {
        const auto slash = path.find('/', start);
        const std::string segment = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (char* escaped = curl_easy_escape(curl_, segment.c_str(), static_cast<int>(segment.size()))) {
            url += escaped;
            curl_free(escaped);
        }
        if (slash == std::string::npos) break;
        url += '/';
        start = slash + 1;
    }
    return url;
}

void FtpClient::vApplyCommonOptions(const std::string& path) {
    errorBuffer_[0] = '\0';
    curl_easy_setopt(curl_, CURLOPT_URL, szUrl(path).c_str());
    curl_easy_setopt(curl_, CURLOPT_USERNAME, m_szUsername.c_str());
    curl_easy_setopt(curl_, CURLOPT_PASSWORD, m_szPassword.c_str());
    curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT_MS, kConnectLimitMs);
    curl_easy_setopt(curl_, CURLOPT_SERVER_RESPONSE_TIMEOUT, kReplyLimitSec);
    curl_easy_setopt(curl_, CURLOPT_FTPPORT, m_bPassive ? nullptr : "-");
    curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, errorBuffer_);
    curl_easy_setopt(curl_, CURLOPT_BUFFERSIZE, iClamp(m_nRecvBufferSize, kMinBufferSize, kMaxRecvBufferSize));
    curl_easy_setopt(curl_, CURLOPT_UPLOAD_BUFFERSIZE, iClamp(m_nSendBufferSize, kMinBufferSize, kMaxUploadBufferSize));
    curl_easy_setopt(curl_, CURLOPT_SOCKOPTFUNCTION, &FtpClient::iOnSocketOpened);
    curl_easy_setopt(curl_, CURLOPT_SOCKOPTDATA, this);
    curl_easy_setopt(curl_, CURLOPT_CLOSESOCKETFUNCTION, &FtpClient::iOnSocketClose);
    curl_easy_setopt(curl_, CURLOPT_CLOSESOCKETDATA, this);
    curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &iDiscard);
    curl_easy_setopt(curl_, CURLOPT_WRITEDATA, nullptr);
    curl_easy_setopt(curl_, CURLOPT_NOPROGRESS, 1L);
    curl_easy_setopt(curl_, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(curl_, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(curl_, CURLOPT_IGNORE_CONTENT_LENGTH, 0L);
}

// A connection opened while the control connection is up is a data connection.
int FtpClient::iOnSocketOpened(void* client, curl_socket_t fd, curlsocktype purpose) {
    auto& self = *static_cast<FtpClient*>(client);
    if (purpose == CURLSOCKTYPE_IPCXN && self.controlSocket_.load() >= 0) {
        self.dataSocket_ = fd;
        self.m_nAppBytes = 0;
        self.m_nUncountedAtClose = 0;
        self.takenOver_ = false;
        // Counted by the kernel where it can; else the transfer's own events count its bytes.
        self.m_bKernelCounted = self.counters_.bOpenDataConnection(fd, self.uploadPrepared_);
    }
    return CURL_SOCKOPT_OK;
}

std::int64_t FtpClient::iUnacknowledged() const {
    const int fd = dataSocket_.load();
    int queued = 0;
    if (fd < 0 || ::ioctl(fd, SIOCOUTQ, &queued) != 0) return 0;
    return queued;
}

int FtpClient::iOnSocketClose(void* client, curl_socket_t fd) {
    auto& self = *static_cast<FtpClient*>(client);
    if (self.pump_.iSocket() == fd) self.pump_.vStop();
    int data = fd;
    if (self.dataSocket_.compare_exchange_strong(data, -1)) {
        const std::int64_t appBytes = self.m_nAppBytes.load();
        // Without kernel counts the work events have counted up to the last one; the rest of
        // an upload's bytes count once the server confirms the STOR.
        self.m_nUncountedAtClose = self.m_bKernelCounted.load()
                                       ? self.counters_.iCloseDataConnection(fd, appBytes)
                                       : std::max<std::int64_t>(appBytes - self.m_nLastCount, 0);
    }
    int expected = fd;
    const bool control = self.controlSocket_.compare_exchange_strong(expected, -1);
    const int rc = ::close(fd);
    if (control) self.vDisconnectedEvent();
    return rc;
}

CURLcode FtpClient::ePerformLogin(std::string& error) {
    vApplyCommonOptions("");
    curl_easy_setopt(curl_, CURLOPT_NOBODY, 1L);
    const CURLcode rc = ePerform();
    if (rc != CURLE_OK) {
        error = errorBuffer_[0] ? errorBuffer_ : curl_easy_strerror(rc);
        return rc;
    }
    if (lastSocket_ != CURL_SOCKET_BAD) controlSocket_ = lastSocket_;
    return rc;
}

namespace {

// Replies by which the server refused a command; the control connection stays usable.
bool bIsNegativeReply(CURLcode rc) {
    switch (rc) {
        case CURLE_REMOTE_FILE_NOT_FOUND:
        case CURLE_REMOTE_ACCESS_DENIED:
        case CURLE_FTP_COULDNT_RETR_FILE:
        case CURLE_FTP_COULDNT_SET_TYPE:
        case CURLE_FTP_COULDNT_USE_REST:
        case CURLE_UPLOAD_FAILED:
        case CURLE_QUOTE_ERROR:
        case CURLE_FTP_PRET_FAILED:
        case CURLE_FTP_WEIRD_PASV_REPLY:
        case CURLE_FTP_PORT_FAILED:
        case CURLE_LOGIN_DENIED: return true;
        default: return false;
    }
}

}  // namespace

CURLcode FtpClient::eQuerySize(const std::string& file, std::int64_t& size, std::string& error) {
    size = -1;
    vApplyCommonOptions(m_szDir + file);
    curl_easy_setopt(curl_, CURLOPT_NOBODY, 1L);  // SIZE (and REST 0) without RETR
    const CURLcode rc = ePerform();
    if (rc == CURLE_OK) {
        curl_off_t length = -1;
        if (curl_easy_getinfo(curl_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK) size = length;
        return rc;
    }
    if (bIsNegativeReply(rc)) return CURLE_OK;  // no size from the server
    long osErrno = 0;
    curl_easy_getinfo(curl_, CURLINFO_OS_ERRNO, &osErrno);
    if (osErrno != 0) {
        error = szErrnoText(static_cast<int>(osErrno));
    } else {
        error = std::string("ECurlError - ") + (errorBuffer_[0] ? errorBuffer_ : curl_easy_strerror(rc));
    }
    return rc;
}

CURLcode FtpClient::eChangeDir(const std::string& dir, std::string& error) {
    std::string target = m_szDir + dir;
    if (!target.empty() && target.back() != '/') target += '/';
    vApplyCommonOptions(target);
    curl_easy_setopt(curl_, CURLOPT_NOBODY, 1L);  // CWD only
    const CURLcode rc = ePerform();
    if (rc == CURLE_OK) {
        m_szDir = target;
    } else {
        error = errorBuffer_[0] ? errorBuffer_ : curl_easy_strerror(rc);
    }
    return rc;
}

void FtpClient::vDrop() {
    vStatus(hsDisconnecting);
    const int fd = controlSocket_.load();
    if (fd >= 0) ::shutdown(fd, SHUT_RDWR);  // no QUIT: libcurl finds the line dead
    curl_easy_cleanup(curl_);
    curl_multi_cleanup(multi_);  // the cached control connection goes with it
    curl_ = curl_easy_init();
    multi_ = curl_multi_init();
    controlSocket_ = -1;
    m_szDir.clear();
    vDisconnectedEvent();
}

void FtpClient::vPrepareTransfer(const std::string& file, bool upload, void* userData) {
    vApplyCommonOptions(m_szDir + file);
    uploadPrepared_ = upload;
    pump_.vClearMoved();  // iUploaded() before the take-over is libcurl's count alone
    curl_easy_setopt(curl_, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl_, CURLOPT_XFERINFODATA, userData);
    if (upload) {
        curl_easy_setopt(curl_, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(curl_, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(-1));
        curl_easy_setopt(curl_, CURLOPT_APPEND, 0L);
        curl_easy_setopt(curl_, CURLOPT_READDATA, userData);
    } else {
        curl_easy_setopt(curl_, CURLOPT_WRITEDATA, userData);
        curl_easy_setopt(curl_, CURLOPT_RESUME_FROM_LARGE, static_cast<curl_off_t>(0));
        // libcurl would check the bytes it read itself against the file's size, and most of
        // them the client reads (bTakeOverDownload): the transfer thread checks the size.
        curl_easy_setopt(curl_, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
    }
}

void FtpClient::vSendAbort() {
    if (m_bDropOnly.load() != 0) return;
    const int fd = controlSocket_.load();
    if (fd < 0) return;
    // The abort as RFC 959 has it: Telnet IP, then Synch (IAC as urgent data, then DM), then
    // ABOR. A server that reads its control connection only when urgent data arrives (many do
    // while they send) sees it at once; one that reads every line takes the last four letters.
    static constexpr char kInterrupt[] = {'\xFF', '\xF4', '\xFF'};  // IAC IP IAC
    static constexpr char kAbort[] =
        "\xF2"
        "ABOR\r\n";  // DM, the command
    if (::send(fd, kInterrupt, sizeof kInterrupt, MSG_NOSIGNAL | MSG_OOB) != static_cast<ssize_t>(sizeof kInterrupt) ||
        ::send(fd, kAbort, sizeof kAbort - 1, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof kAbort - 1)) {
        return;
    }
    // Drop the data connection: a server still busy sending notices the abort by the failed
    // send even where it ignores urgent data.
    if (const int data = dataSocket_.load(); data >= 0) ::shutdown(data, SHUT_RDWR);

    // The server ends the data transfer and answers (426 for the transfer, then 226 or 225);
    // libcurl drops the control connection after a stopped download, so reading it here takes
    // nothing away from it.
    FtpAbortAnswer answer;
    const std::int64_t deadline = iSteadyMs() + kAbortReplyLimitMs;
    for (;;) {
        const std::int64_t left = deadline - iSteadyMs();
        if (left <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
        char buffer[512];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        if (answer.bFeed(std::string_view(buffer, static_cast<std::size_t>(n)))) break;
    }
    vStatus(ftpAborted);
}

// --- transfer-thread bookkeeping ------------------------------------------------------------

void FtpClient::vMarkTransferStarted() {
    std::lock_guard lock(runMutex_);
    transferRunning_ = true;
}

void FtpClient::vMarkTransferEnded() {
    std::lock_guard lock(runMutex_);
    transferRunning_ = false;
    runEnded_.notify_all();
}

bool FtpClient::bTransferRunning() {
    std::lock_guard lock(runMutex_);
    return transferRunning_;
}

bool FtpClient::bWaitTransferEnded(int boundMs) {
    std::unique_lock lock(runMutex_);
    return runEnded_.wait_for(lock, std::chrono::milliseconds(boundMs), [&] { return !transferRunning_; });
}

}  // namespace kivota
