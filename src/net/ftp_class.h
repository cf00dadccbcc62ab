#pragma once
// One FTP connection to the test server, used by the throughput phases to download or upload
// test data in parallel with its siblings. Each transfer runs on a TFTPThread of its own and is
// open-ended: it goes on until the owner stops it. All connections of a phase count their
// bytes into one shared counter; connection 1 of a direction ("FTPDL1" / "FTPUL1") resets it,
// samples the rate at most once a second and reports it through OnProgress. When its transfer
// ends before the phase does, the next connection still transferring reports in its place.
//
// Threads: configuration and the operations run on the owner's thread (the phase stop may
// also run on the reporting connection's transfer thread, from its progress callback).
// OnProgress runs on the reporting connection's transfer thread; OnConnected/OnDisconnected/
// OnLog on the thread of the event.
//
// Lifetime: the connection holds its transfer thread by shared_ptr; both share the client.
// Destruction stops a running transfer and waits for it with a bound, after which no callback
// of this connection runs any more.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "net/ftp_client.h"
#include "net/ftp_thread.h"
#include "platform/clock.h"

namespace kivota {

class TFTPClass {
public:
    // `clock` times the rate samples; null means the system clock. `counters` is the phase's
    // shared byte counter (the program's one set unless a test gives its own).
    explicit TFTPClass(std::shared_ptr<IClock> clock = nullptr, FtpSharedCounters& counters = ftpSharedCounters());
    ~TFTPClass();
    TFTPClass(const TFTPClass&) = delete;
    TFTPClass& operator=(const TFTPClass&) = delete;

    // Configuration; each is ignored while connected.
    void SetName(const std::string& name);
    void SetHost(const std::string& host);  // "host" (port from SetPort) or "host:port"
    void SetUsername(const std::string& user);
    void SetPassword(const std::string& password);
    void SetPort(int port);
    void SetPassive(bool passive);
    void SetDropOnly(int dropOnly);
    void SetRecvBufferSize(int bytes);
    void SetSendBufferSize(int bytes);
    // Ignored while a transfer is busy.
    void SetGetFile(const std::string& file);
    void SetPutFile(const std::string& file);

    void SetCallbacks(FtpCallbacks callbacks);

    // Connects and logs in (2000 ms connect limit). A failure returns false for connection 1
    // of a direction and true for the others, which then have m_bConnected 0.
    bool Connect();
    // Closes the control connection (no QUIT).
    void Disconnect();
    // CWD, only while connected.
    void ChangeDir(const std::string& dir);
    // Start an open-ended download of m_szGetFile / upload to m_szPutFile on a new thread.
    void Get();
    void Put();
    // Asks the running transfer to end at its next work event.
    void Abort();

    const std::string& name() const { return m_pFTP->m_szName; }

    std::shared_ptr<FtpClient> m_pFTP;
    std::shared_ptr<TFTPThread> m_pThread;  // the current (or last) transfer thread
    std::string m_szGetFile;
    std::string m_szPutFile;

    // The client's flags, under the names the owner knows them by.
    std::atomic<int>& m_bDropOnly;
    std::atomic<int>& m_bConnected;
    std::atomic<int>& m_bBusy;
    std::atomic<int>& m_bStop;

private:
    void vStartTransfer(const std::string& file, bool upload);
    // Stops a running transfer and waits for its end (bounded); false when it still runs.
    bool bEndRunningTransfer();
    void vDisconnectLocked();

    // Serialises the operations: the worker and connection 1's callback may both stop a phase.
    std::recursive_mutex opLock_;
};

}  // namespace kivota
