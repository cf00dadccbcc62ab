#include "net/ftp_class.h"

namespace kivota {

namespace {

// How long an operation waits for a stopped transfer to end. A stop takes effect at the next
// work event, and libcurl raises one at least once a second even on a silent line; the rest
// is the bounded ABOR answer or the end of the STOR.
constexpr int kTransferEndLimitMs = 5000;

bool bIsFirstConnection(const std::string& name) { return name == "FTPDL1" || name == "FTPUL1"; }

}  // namespace

TFTPClass::TFTPClass(std::shared_ptr<IClock> clock, FtpSharedCounters& counters)
    : m_pFTP(std::make_shared<FtpClient>(std::move(clock), counters)),
      m_bDropOnly(m_pFTP->m_bDropOnly),
      m_bConnected(m_pFTP->m_bConnected),
      m_bBusy(m_pFTP->m_bBusy),
      m_bStop(m_pFTP->m_bStop) {
    m_pFTP->vBind(this, {});
}

TFTPClass::~TFTPClass() {
    std::lock_guard lock(opLock_);
    if (m_pThread) m_pThread->Terminate();
    if (!m_pFTP->bOnTransferThread()) m_pFTP->bWaitTransferEnded(kTransferEndLimitMs);
    // From here on no callback reaches the owner; a transfer thread that has not ended yet
    // keeps the client alive and frees it when it ends.
    m_pFTP->vBind(nullptr, {});
    m_pThread.reset();
    m_szGetFile.clear();
    m_szPutFile.clear();
}

void TFTPClass::SetName(const std::string& name) {
    if (!m_bConnected) m_pFTP->m_szName = name;
}
void TFTPClass::SetHost(const std::string& host) {
    if (!m_bConnected) m_pFTP->m_szHost = host;
}
void TFTPClass::SetUsername(const std::string& user) {
    if (!m_bConnected) m_pFTP->m_szUsername = user;
}
void TFTPClass::SetPassword(const std::string& password) {
    if (!m_bConnected) m_pFTP->m_szPassword = password;
}
void TFTPClass::SetPort(int port) {
    if (!m_bConnected) m_pFTP->m_nPort = port;
}
void TFTPClass::SetPassive(bool passive) {
    if (!m_bConnected) m_pFTP->m_bPassive = passive;
}
void TFTPClass::SetDropOnly(int dropOnly) {
    if (!m_bConnected) m_bDropOnly = dropOnly;
}
void TFTPClass::SetRecvBufferSize(int bytes) {
    if (!m_bConnected) m_pFTP->m_nRecvBufferSize = bytes;
}
void TFTPClass::SetSendBufferSize(int bytes) {
    if (!m_bConnected) m_pFTP->m_nSendBufferSize = bytes;
}
void TFTPClass::SetGetFile(const std::string& file) {
    if (!m_bBusy) m_szGetFile = file;
}
void TFTPClass::SetPutFile(const std::string& file) {
    if (!m_bBusy) m_szPutFile = file;
}

void TFTPClass::SetCallbacks(FtpCallbacks callbacks) { m_pFTP->vSetCallbacks(std::move(callbacks)); }

bool TFTPClass::bEndRunningTransfer() {
    if (!m_pFTP->bTransferRunning()) return true;
    m_bStop = 1;
    return m_pFTP->bWaitTransferEnded(kTransferEndLimitMs);
}

bool TFTPClass::Connect() {
    std::lock_guard lock(opLock_);
    const bool first = bIsFirstConnection(m_pFTP->m_szName);
    if (!bEndRunningTransfer()) return !first;  // the handle is still in use: no connect
    if (m_bConnected) m_pFTP->vDrop();
    m_bConnected = 0;
    m_pFTP->vLog("> Connect() !!!!!");
    m_pFTP->vStatus(hsResolving);
    m_pFTP->vStatus(hsConnecting);
    std::string error;
    if (m_pFTP->ePerformLogin(error) == CURLE_OK) {
        m_pFTP->vConnectedEvent();
        return true;
    }
    // Connection 1 decides the phase; a later connection that fails is only left out.
    return !first;
}

void TFTPClass::Disconnect() {
    m_pFTP->vLog("> Disconnect() !!!!!");
    if (m_pFTP->bOnTransferThread()) {
        // Called from this connection's own progress callback: the transfer thread owns the
        // handle and drops the line when its transfer has ended.
        m_bStop = 1;
        m_pFTP->m_bDisconnectPending = true;
        return;
    }
    std::lock_guard lock(opLock_);
    vDisconnectLocked();
}

void TFTPClass::vDisconnectLocked() {
    if (!bEndRunningTransfer()) {
        m_pFTP->m_bDisconnectPending = true;  // the thread drops the line once it is done
        return;
    }
    m_pFTP->m_bDisconnectPending = false;
    m_pFTP->vDrop();
}

void TFTPClass::ChangeDir(const std::string& dir) {
    std::lock_guard lock(opLock_);
    if (!m_bConnected || m_pFTP->bTransferRunning()) return;
    m_pFTP->vLog("> ChangeDir() !!!!!");
    std::string error;
    if (m_pFTP->eChangeDir(dir, error) != CURLE_OK) m_pFTP->vLog(error);
}

void TFTPClass::Get() {
    std::lock_guard lock(opLock_);
    if (!bEndRunningTransfer()) return;  // the previous transfer still owns the handle
    std::int64_t size = -1;
    std::string error;
    if (m_pFTP->eQuerySize(m_szGetFile, size, error) != CURLE_OK) {
        m_pFTP->vLog(error);
        m_pFTP->vDrop();  // m_bConnected 0; no transfer starts
        return;
    }
    m_pFTP->m_nFileSize = size;
    vStartTransfer(m_szGetFile, false);
}

void TFTPClass::Put() {
    std::lock_guard lock(opLock_);
    if (!bEndRunningTransfer()) return;
    vStartTransfer(m_szPutFile, true);
}

void TFTPClass::vStartTransfer(const std::string& file, bool upload) {
    m_pFTP->m_nTransfers = 0;
    m_pFTP->m_bStop = 0;
    m_bBusy = 1;
    // Only connection 1 starts the phase's count afresh: a sibling that starts after the
    // count began (a slow login on a loaded line) must not wipe out what was counted.
    if (m_pFTP->bIsFirstOf(upload ? wmWrite : wmRead)) m_pFTP->counters().vStartPhase(upload);
    if (m_pThread) m_pThread->Terminate();  // harmless when it has ended
    auto thread = std::make_shared<TFTPThread>(m_pFTP, file, upload);
    thread->SetFreeOnTerminate(true);
    m_pThread = thread;
    m_pFTP->vMarkTransferStarted();
    thread->Resume();
}

void TFTPClass::Abort() { m_bStop = 1; }

}  // namespace kivota
