#include "net/ftp_thread.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"

namespace kivota {

namespace {

// An upload whose STOR cannot end normally this long after the stop (the link stalls, so
// libcurl never asks for more data) is cut off.
constexpr std::int64_t kUploadEndLimitMs = 3000;

bool bIsNegativeUploadReply(CURLcode rc) {
    return rc == CURLE_UPLOAD_FAILED || rc == CURLE_REMOTE_ACCESS_DENIED || rc == CURLE_REMOTE_FILE_NOT_FOUND ||
           rc == CURLE_FTP_COULDNT_SET_TYPE || rc == CURLE_QUOTE_ERROR || rc == CURLE_FTP_WEIRD_PASV_REPLY ||
           rc == CURLE_FTP_PORT_FAILED || rc == CURLE_LOGIN_DENIED;
}

bool bIsNegativeDownloadReply(CURLcode rc) {
    return rc == CURLE_REMOTE_FILE_NOT_FOUND || rc == CURLE_FTP_COULDNT_RETR_FILE || rc == CURLE_REMOTE_ACCESS_DENIED ||
           rc == CURLE_FTP_COULDNT_SET_TYPE || rc == CURLE_FTP_COULDNT_USE_REST || rc == CURLE_QUOTE_ERROR ||
           rc == CURLE_FTP_WEIRD_PASV_REPLY || rc == CURLE_FTP_PORT_FAILED || rc == CURLE_LOGIN_DENIED;
}

}  // namespace

std::size_t FtpFillerStream::iFill(char* buffer, std::size_t size) {
    const std::size_t n = std::min(size, block.size() - position);
    std::memcpy(buffer, block.data() + position, n);
    position += n;
    if (position == block.size()) vRewind();
    return n;
}

TFTPThread::TFTPThread(std::shared_ptr<FtpClient> client, std::string file, bool upload)
    : m_pFTP(std::move(client)),
      m_szFile(std::move(file)),
      m_pGetStream(std::make_unique<FtpDiscardStream>()),
      m_bUpload(upload ? 1 : 0) {
    if (upload) {
        m_pPutStream =
            std::make_unique<FtpFillerStream>(static_cast<std::size_t>(std::max(1, m_pFTP->m_nSendBufferSize)));
    }
}

TFTPThread::~TFTPThread() = default;

void TFTPThread::Execute() {
    FtpClient& c = *m_pFTP;
    c.vSetTransferThread(std::this_thread::get_id());
    if (m_bUpload) {
        vUpload();
    } else {
        vDownload();
    }
    // A disconnect asked for while this thread owned the handle (for instance from the
    // progress callback that ended the phase) is carried out now.
    if (c.m_bDisconnectPending.exchange(false)) c.vDrop();
    c.vSetTransferThread(std::thread::id{});
    c.vMarkTransferEnded();
}

bool TFTPThread::bStopRequested() const { return Terminated() || m_pFTP->m_bStop.load() != 0; }

void TFTPThread::vDownload() {
    FtpClient& c = *m_pFTP;
    for (bool first = true;; first = false) {
        m_pGetStream->vRewind();
        m_nTransferCount = 0;
        m_bRenewing = false;
        c.vPrepareTransfer(m_szFile, false, this);
        curl_easy_setopt(c.handle(), CURLOPT_WRITEFUNCTION, &TFTPThread::iOnWrite);
        curl_easy_setopt(c.handle(), CURLOPT_XFERINFOFUNCTION, &TFTPThread::iOnXferInfo);
        if (first) {
            c.vWorkBegin(wmRead, c.m_nFileSize);
        } else {
            c.vRenewBegin(wmRead, c.m_nFileSize);
        }
        c.vStatus(ftpTransfer);
        CURLcode rc = c.ePerform();
        // A file that ended before its size: the server closed the data connection early.
        if (rc == CURLE_OK && !m_bStopped && c.m_nFileSize > 0 && m_nTransferCount < c.m_nFileSize) {
            rc = CURLE_PARTIAL_FILE;
        }
        if (rc == CURLE_OK && m_nTransferCount > kRenewAfterBytes && !bStopRequested()) {
            continue;  // the file ended on a fast line: fetch it again, the phase goes on
        }
        c.vWorkEnd(wmRead);
        if (rc == CURLE_OK) {
            c.vLog(c.m_szName + " Event:AfterGet()");
            c.vLog("");
            c.vStatus(ftpReady);
        } else if (m_bStopped || bIsNegativeDownloadReply(rc)) {
            // Stopped as asked (libcurl has dropped the lines), or the server refused the file.
        } else {
            c.vDrop();  // a socket error or another failure: the client is closed
        }
        return;
    }
}

void TFTPThread::vUpload() {
    FtpClient& c = *m_pFTP;
    for (bool first = true;; first = false) {
        m_pPutStream->vRewind();
        m_nTransferCount = 0;
        m_bRenewing = false;
        m_bUploadEnding = false;
        c.vPrepareTransfer(m_szFile, true, this);
        curl_easy_setopt(c.handle(), CURLOPT_READFUNCTION, &TFTPThread::iOnRead);
        curl_easy_setopt(c.handle(), CURLOPT_XFERINFOFUNCTION, &TFTPThread::iOnXferInfo);
        if (first) {
            c.vWorkBegin(wmWrite, static_cast<std::int64_t>(m_pPutStream->block.size()));
        } else {
            c.vRenewBegin(wmWrite, static_cast<std::int64_t>(m_pPutStream->block.size()));
        }
        c.vStatus(ftpTransfer);
        const CURLcode rc = c.ePerform();
        // The server's 226: it holds every byte, also those not acknowledged at the close.
        if (rc == CURLE_OK) c.counters().vAddDelivered(true, c.m_nUncountedAtClose.exchange(0));
        if (rc == CURLE_OK && m_bRenewing && !bStopRequested()) {
            continue;  // the STOR ended for its size alone: a new one takes over
        }
        c.vWorkEnd(wmWrite);
        if (rc == CURLE_OK) {
            c.vStatus(ftpReady);
        } else if (bIsNegativeUploadReply(rc)) {
            c.vDrop();
        }
        return;
    }
}

// Download work event: a block arrived.
std::size_t TFTPThread::iOnWrite(char*, std::size_t size, std::size_t count, void* self) {
    auto& t = *static_cast<TFTPThread*>(self);
    FtpClient& c = *t.m_pFTP;
    const std::size_t bytes = size * count;
    // From the first block on, the client reads the data connection itself and discards in
    // the kernel; libcurl holds this block and delivers it when the connection ends.
    if (c.bTakeOverDownload([&t](std::size_t n) { return iOnWrite(nullptr, 1, n, &t) == n; })) {
        return CURL_WRITEFUNC_PAUSE;
    }
    t.m_pGetStream->vWrite(bytes);
    const std::int64_t received = t.m_nTransferCount + static_cast<std::int64_t>(bytes);
    c.m_nAppBytes = received;
    if (t.Terminated() || c.eWork(wmRead, received) == FtpClient::WorkAction::Stop) {
        t.vStopDownload();
        return 0;  // libcurl ends the transfer and closes the data connection
    }
    t.m_pGetStream->vRewind();
    t.m_nCount += static_cast<std::int64_t>(bytes);
    t.m_nTransferCount = received;
    return bytes;
}

// Upload data: the filler block, again and again, until a stop makes the STOR end normally.
std::size_t TFTPThread::iOnRead(char* buffer, std::size_t size, std::size_t count, void* self) {
    auto& t = *static_cast<TFTPThread*>(self);
    if (!t.bUploadGoesOn()) return 0;
    // The client sends the block itself, without copying it, until the upload is to end.
    FtpFillerStream& stream = *t.m_pPutStream;
    if (t.m_pFTP->bTakeOverUpload(stream.block, stream.position, [&t] { return t.bUploadGoesOn(); })) {
        return CURL_READFUNC_PAUSE;
    }
    return stream.iFill(buffer, size * count);
}

bool TFTPThread::bUploadGoesOn() {
    if (!m_bUploadEnding && bStopRequested() && m_pFTP->m_bBusy.load() != 0) vBeginUploadEnd();
    return !m_bUploadEnding;
}

// Called by libcurl after each pass over the sockets (see FtpClient::ePerform):
// the upload's work events (bytes the server has received so far), and the stop check of a
// download whose data does not arrive.
int TFTPThread::iOnXferInfo(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t ulNow) {
    auto& t = *static_cast<TFTPThread*>(self);
    FtpClient& c = *t.m_pFTP;
    if (!t.m_bUpload) {
        // A download stopped while the client read it itself is still paused in libcurl.
        if (t.m_bStopped || (t.bStopRequested() && c.m_bBusy.load() != 0)) {
            t.vStopDownload();
            return 1;
        }
        return 0;
    }
    const std::int64_t handed = c.iUploaded(static_cast<std::int64_t>(ulNow));
    c.m_nAppBytes = handed;
    if (!t.m_bUploadEnding) {
        // What the server has received: written to the socket, less what still waits for its
        // acknowledgement (the send queue can hold seconds of a slow link).
        const std::int64_t sent = std::max<std::int64_t>(handed - c.iUnacknowledged(), 0);
        if (sent != t.m_nTransferCount) {
            if (t.Terminated() || c.eWork(wmWrite, sent) == FtpClient::WorkAction::Stop) {
                t.vBeginUploadEnd();
            } else {
                t.m_nCount += sent - t.m_nTransferCount;
                t.m_nTransferCount = sent;
                if (sent > kRenewAfterBytes) {
                    t.m_bRenewing = true;
                    t.vBeginUploadEnd();
                }
            }
        } else if (t.bStopRequested() && c.m_bBusy.load() != 0) {
            t.vBeginUploadEnd();
        }
    }
    // An upload told to drop its line ends at once instead of waiting for the STOR's end.
    if (t.m_bUploadEnding && c.m_bDropOnly.load() != 0) return 1;
    if (t.m_bUploadEnding && iSteadyMs() - t.m_nStopSeenMs > kUploadEndLimitMs) return 1;
    return 0;
}

void TFTPThread::vStopDownload() {
    if (m_bStopped) return;
    m_bStopped = true;
    m_pFTP->vSendAbort();
}

void TFTPThread::vBeginUploadEnd() {
    m_bUploadEnding = true;
    m_nStopSeenMs = iSteadyMs();
}

}  // namespace kivota
