#pragma once
// The FTP client of one connection: a libcurl easy handle with the connection's settings, its
// flags and counters, the event handlers (work-begin, work, work-end, connected, disconnected)
// and the owner's callbacks. The connection object (TFTPClass) and its transfer thread
// (TFTPThread) share it by shared_ptr, so a thread that ends after its connection was
// destroyed still touches live state. The owner's thread uses the easy handle only while no
// transfer runs; while one runs, the transfer thread owns it.

#include <curl/curl.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "net/ftp_data_pump.h"
#include "net/ftp_shared_counters.h"
#include "platform/clock.h"

namespace kivota {

class TFTPClass;

// Work modes of the transfer events.
enum FtpWorkMode : int { wmRead = 0, wmWrite = 1 };

// Status codes of the client and their names in the log.
enum FtpStatus : int {
    hsResolving = 0,
    hsConnecting = 1,
    hsConnected = 2,
    hsDisconnecting = 3,
    hsDisconnected = 4,
    hsStatusText = 5,
    ftpTransfer = 6,
    ftpReady = 7,
    ftpAborted = 8,
};
const char* szFtpStatusName(int code);

// The owner's callbacks. They run on the thread of the event (see TFTPClass).
struct FtpCallbacks {
    std::function<void(TFTPClass& sender)> onConnected;
    std::function<void(TFTPClass& sender)> onDisconnected;
    std::function<void(TFTPClass& sender, const std::string& text)> onLog;
    std::function<void(TFTPClass& sender, int workMode, double rateBps, std::int64_t elapsedMs,
                       std::int64_t totalBytes)>
        onProgress;
    // Called right after the phase's byte count is read for a report, before onProgress: the
    // owner reads what it compares the count with (the adapter's counters) at the same moment.
    std::function<void(TFTPClass& sender)> onSampleMoment;
};

class FtpClient {
public:
    FtpClient(std::shared_ptr<IClock> clock, FtpSharedCounters& counters);
    ~FtpClient();
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    // What a work event asks of the transfer.
    enum class WorkAction { Continue, Stop };

    // Settings (owner's thread).
    std::string m_szName = "FTP";
    std::string m_szHost;
    std::string m_szUsername, m_szPassword;
    int m_nPort = 21;
    bool m_bPassive = true;
    int m_nRecvBufferSize = 131072;  // bytes the client reads from the socket at a time
    int m_nSendBufferSize = 32768;   // bytes of the upload block
    std::string m_szDir;             // working directory set by ChangeDir, "" or ending in '/'

    // Flags shared between the owner and the transfer thread.
    std::atomic<int> m_bDropOnly{0};
    std::atomic<int> m_bConnected{0};
    std::atomic<int> m_bBusy{0};
    std::atomic<int> m_bStop{0};

    // Transfer bookkeeping (m_nFileSize and m_nTransfers are set by the owner before the
    // transfer thread starts; the rest belongs to the transfer thread).
    std::int64_t m_nFileSize = 0;  // 64-bit: test files of 2 GiB and more
    std::int32_t m_nTransfers = 0;
    std::int64_t m_nLastCount = 0;
    double m_dRate = 0.0;

    CURL* handle() { return curl_; }

    // Runs the prepared handle to its end. The client's own multi handle keeps the control
    // connection between operations, and every pass over the sockets calls the transfer's
    // progress callback, at least every few milliseconds while the line is quiet.
    CURLcode ePerform();

    // Binds the connection object that callbacks receive as their sender; nullptr unbinds and
    // drops the callbacks (the connection is going away).
    void vBind(TFTPClass* owner, FtpCallbacks callbacks);
    void vSetCallbacks(FtpCallbacks callbacks);

    // --- transfer events (transfer thread; vWork also driven directly by tests) ---
    void vWorkBegin(int workMode, std::int64_t countMax);
    // The begin of a transfer that takes over from one that moved kRenewAfterBytes: the phase's
    // count and clock go on.
    void vRenewBegin(int workMode, std::int64_t countMax);
    // Given the byte count of the current transfer so far.
    WorkAction eWork(int workMode, std::int64_t count);
    void vWorkEnd(int workMode);

    // --- commands on the easy handle (owner's thread, or the transfer thread it belongs to) ---
    // Connects and logs in, keeping the control connection for the transfers that follow.
    CURLcode ePerformLogin(std::string& error);
    // SIZE of `file`; -1 when the server gives none. `error` is set on a failure other than a
    // negative reply, and the result is then not CURLE_OK.
    CURLcode eQuerySize(const std::string& file, std::int64_t& size, std::string& error);
    // CWD into `dir` (relative to the current directory).
    CURLcode eChangeDir(const std::string& dir, std::string& error);
    // Closes the control connection without QUIT and starts over with a fresh handle.
    void vDrop();
    // Prepares the handle for a transfer of `file` (download or upload).
    void vPrepareTransfer(const std::string& file, bool upload, void* userData);
    // A transfer's data moved by the client itself instead of through libcurl's buffers (see
    // FtpDataPump), asked for by the transfer's write or read callback the first time it is
    // called for a data connection; on true the callback returns libcurl's pause code.
    // Download: `onReceived` is told of every read; false refuses it, and the transfer stays
    // paused until its progress callback ends it. Upload: `block` is sent over and over from
    // `offset` while `goesOn()` holds; then libcurl asks the read callback again.
    bool bTakeOverDownload(std::function<bool(std::size_t)> onReceived);
    bool bTakeOverUpload(const std::string& block, std::size_t offset, std::function<bool()> goesOn);
    // Bytes the current upload has handed to its data connection, given libcurl's own count.
    std::int64_t iUploaded(std::int64_t byLibcurl) const { return byLibcurl + pump_.iMoved(); }
    // Download stop on the wire: ABOR on the control connection and the server's answer read
    // (bounded), unless the stop is to drop the data connection only.
    void vSendAbort();

    // --- events and log texts ---
    void vLog(const std::string& text);
    void vStatus(int code) { vLog(szFtpStatusName(code)); }
    void vConnectedEvent();
    void vDisconnectedEvent();

    // --- transfer-thread bookkeeping ---
    void vMarkTransferStarted();
    void vMarkTransferEnded();
    bool bTransferRunning();
    // true when no transfer runs (any more) within `boundMs` of real time.
    bool bWaitTransferEnded(int boundMs);
    // The data connection's socket while a transfer has one open, else -1.
    int iDataSocket() const { return dataSocket_.load(); }
    bool bOnTransferThread() const { return transferThread_.load() == std::this_thread::get_id(); }
    void vSetTransferThread(std::thread::id id) { transferThread_.store(id); }
    // A disconnect asked for while the transfer thread owned the handle; that thread carries it out.
    std::atomic<bool> m_bDisconnectPending{false};

    // Bytes written to the data connection that its peer has not acknowledged yet (0 when
    // there is no data connection). An upload counts only what the server has received.
    std::int64_t iUnacknowledged() const;

    // Bytes of the current data connection the application took (download) or handed to the
    // socket (upload); set by the transfer thread, read when the connection closes.
    std::atomic<std::int64_t> m_nAppBytes{0};
    // Bytes of the last closed data connection that the kernel had not counted yet (an
    // upload's, on their way to the server); they count once the server confirms the STOR.
    std::atomic<std::int64_t> m_nUncountedAtClose{0};
    // The current transfer's bytes are counted from its data socket by the kernel (see
    // FtpSharedCounters), not from the work events; false where the kernel cannot count them.
    std::atomic<bool> m_bKernelCounted{false};

    IClock& clock() { return *clock_; }
    FtpSharedCounters& counters() { return counters_; }
    bool bIsFirstOf(int workMode) const;

private:
    void vApplyCommonOptions(const std::string& path);
    std::string szUrl(const std::string& path) const;
    static int iOnSocketOpened(void* client, curl_socket_t fd, curlsocktype purpose);
    static int iOnSocketClose(void* client, curl_socket_t fd);
    void vRunPump();

    std::shared_ptr<IClock> clock_;
    FtpSharedCounters& counters_;
    CURL* curl_ = nullptr;
    CURLM* multi_ = nullptr;
    curl_socket_t lastSocket_ = CURL_SOCKET_BAD;  // the connection the last operation used
    bool uploadPrepared_ = false;                 // direction of the prepared transfer
    char errorBuffer_[CURL_ERROR_SIZE] = {};

    // The data path of the current transfer (transfer thread), taken over once per data
    // connection.
    FtpDataPump pump_;
    bool takenOver_ = false;

    // The control connection's socket while it is open, else -1 (the first socket opened when
    // none is open is the control connection; data connections open only after it).
    std::atomic<int> controlSocket_{-1};
    // The data connection's socket while a transfer has one open, else -1.
    std::atomic<int> dataSocket_{-1};

    std::recursive_mutex callbackLock_;  // a callback may call back into its own connection
    TFTPClass* owner_ = nullptr;
    FtpCallbacks callbacks_;

    std::mutex runMutex_;
    std::condition_variable runEnded_;
    bool transferRunning_ = false;
    std::atomic<std::thread::id> transferThread_{};
};

}  // namespace kivota
