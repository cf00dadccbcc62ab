#pragma once
// The thread that runs one open-ended transfer of a connection: a RETR whose data is discarded
// or a STOR of one filler block sent over and over, until the owner stops it.

#include <cstdint>
#include <memory>
#include <string>

#include "net/ftp_client.h"
#include "platform/thread.h"

namespace kivota {

// Download target: a stream that is rewound at every work event, so it never grows past one
// block. Nothing reads the data, so nothing is copied into it.
struct FtpDiscardStream {
    std::int64_t position = 0;
    void vWrite(std::size_t n) { position += static_cast<std::int64_t>(n); }
    void vRewind() { position = 0; }
};

// Upload source: one block of '*' of the send block size, served again and again.
struct FtpFillerStream {
    explicit FtpFillerStream(std::size_t blockSize) : block(blockSize, '*') {}
    std::string block;
    std::size_t position = 0;
    // Copies the block from the current position up to its end, at most `size` bytes, and
    // rewinds at the end: each call serves at most one block, so the client writes the
    // connection in blocks of the send block size.
    std::size_t iFill(char* buffer, std::size_t size);
    void vRewind() { position = 0; }
};

// A transfer that has moved more than this is followed by a new RETR or STOR: the download
// runs to the end of its file first, the upload ends its STOR normally.
inline constexpr std::int64_t kRenewAfterBytes = 2'000'000'000;

class TFTPThread : public TThread {
public:
    // Download (upload false) or upload of `file` over `client`; an upload's block is made here.
    TFTPThread(std::shared_ptr<FtpClient> client, std::string file, bool upload);
    ~TFTPThread() override;

    std::shared_ptr<FtpClient> m_pFTP;
    std::string m_szFile;
    std::unique_ptr<FtpDiscardStream> m_pGetStream;
    std::unique_ptr<FtpFillerStream> m_pPutStream;
    int m_bUpload = 0;

    // Set once a stop is seen: the upload's read side then reports the end of its data.
    bool m_bUploadEnding = false;
    // Set once a download was stopped (ABOR sent unless drop-only).
    bool m_bStopped = false;
    // Bytes of all the thread's transfers: received (download) or acknowledged by the server
    // (upload); and of the current transfer alone.
    std::int64_t m_nCount = 0;
    std::int64_t m_nTransferCount = 0;
    // Set when the current transfer has moved so much that a new one takes over: one RETR or
    // STOR is not open-ended on a fast line (see kRenewAfterBytes).
    bool m_bRenewing = false;
    // When the stop was first seen (steady time, ms), to bound an upload that cannot finish.
    std::int64_t m_nStopSeenMs = -1;

protected:
    void Execute() override;

private:
    void vDownload();
    void vUpload();
    bool bStopRequested() const;
    void vStopDownload();
    void vBeginUploadEnd();
    // Whether the upload is to go on; a stop seen here begins its end.
    bool bUploadGoesOn();

    static std::size_t iOnWrite(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t iOnRead(char* buffer, std::size_t size, std::size_t count, void* self);
    static int iOnXferInfo(void* self, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t ulTotal, curl_off_t ulNow);
};

}  // namespace kivota
