#pragma once
// One file on another machine, reached through the user's own rsh (ssh) running this program as
// `octetwatch-cli --server` there. The server is not trusted: every reply is checked against
// what was asked, and anything else ends the connection with an error text.
//
// Requests are pipelined: Ask… sends a request and returns its ticket at once; Take… waits for
// that ticket's reply. Replies come back in the order asked; a reply taken out of order keeps the
// earlier ones until they are taken. What is asked and not yet taken is bounded (MayAsk), so that
// memory is bounded on both sides whatever the file's size.
//
// Not shared between threads: one thread drives one connection.
#include "diffdb/CMyInPlaceWriter.h"
#include "platform/FileStatus.h"
#include "platform/LowFile.h"
#include "platform/Process.h"
#include "remote/Digest.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CMyDiffDataBase;

namespace remote {

// How the far side is reached: `m_rsh HOST m_program --server`.
struct RemoteTarget {
    std::vector<std::string> m_rsh{"ssh"};
    std::string m_strHost; // [USER@]HOST, handed to the rsh as typed
    std::vector<std::string> m_program{"octetwatch-cli"};
};

// Why the server would not open the file: what a local run looks at to say why.
struct OpenRefusal {
    bool m_bExists = false;                          // the path names something there
    platform::FileKind m_kind = platform::FileKind::Regular; // what it is, when it exists
    int m_nErrno = 0;                                // the failed open's (or look's) errno
};

class RemoteFile {
public:
    enum OpenMode { kOpenRead = 0, kOpenReadWrite = 1 };
    using Ticket = std::uint64_t; // 0 is no ticket

    // Largest single request: the bytes of one range, the digests of one range.
    static constexpr std::uint32_t kMaxBytesAsked = 1024 * 1024;
    static constexpr std::uint32_t kMaxLeavesAsked = 4096;
    // Reply bytes asked and not yet taken, at most, and requests. Few enough requests that they
    // always fit in the connection's buffer: asking never waits for the server, so the server
    // can always go on sending the replies asked before.
    static constexpr std::size_t kMaxBytesInFlight = 16 * 1024 * 1024;
    static constexpr std::size_t kMaxAsked = 256;

    RemoteFile();
    ~RemoteFile(); // closes as Close does
    RemoteFile(const RemoteFile&) = delete;
    RemoteFile& operator=(const RemoteFile&) = delete;

    // Starts the rsh and shakes hands with the program at the far end. False with ErrorText():
    // the rsh would not start, the far end has no program or another version of it (the text
    // says what to install where), or the connection was lost.
    bool Connect(const RemoteTarget& target);
    // Opens the file the server is to act on; the path travels inside the protocol, so no
    // character of it is seen by a shell. False either with Refused() (the reason in Refusal(),
    // the connection still usable) or with the connection ended (ErrorText()).
    bool Open(const std::string& strPath, OpenMode mode);
    bool Refused() const { return m_bRefused; }
    const OpenRefusal& Refusal() const { return m_refusal; }
    // The file as opened: size, device, inode, modification time.
    std::int64_t Size() const { return m_idOpen.m_i64Size; }
    const platform::FileIdentity& Identity() const { return m_idOpen; }

    // Whether a request whose reply takes `nReplyBytes` may be asked now.
    bool MayAsk(std::size_t nReplyBytes) const;
    static std::size_t DigestReplyBytes(std::int64_t i64Begin, std::int64_t i64End,
                                        std::uint32_t nLeaf);
    static std::size_t BytesReplyBytes(std::uint32_t n);
    // The digests of [i64Begin, i64End) in leaves of nLeaf (at most kMaxLeavesAsked of them; the
    // range lies inside the file as opened).
    Ticket AskDigests(std::int64_t i64Begin, std::int64_t i64End, std::uint32_t nLeaf);
    // The `n` bytes at i64Begin (at most kMaxBytesAsked, inside the file as opened).
    Ticket AskBytes(std::int64_t i64Begin, std::uint32_t n);
    // Requests asked and not yet taken. SendStore needs none in flight.
    std::size_t InFlight() const { return m_nInFlight; }
    // Waits for the ticket's reply: exactly the digests (LeafCount of the range) or bytes asked.
    // False with ErrorText(): the server could not read its file (ReadErrno(): its errno, 0 when
    // the file ended early, i.e. it shrank) — the connection goes on — or the connection ended.
    bool TakeDigests(Ticket t, LeafDigest* out);
    bool TakeBytes(Ticket t, std::uint8_t* out);
    int ReadErrno() const { return m_nReadErrno; }

    // The file as it is now, for the check that it was not changed during the run: its identity
    // now, and whether the server finds it unchanged since it was opened, still at its path.
    bool Stat(platform::FileIdentity* pNow, bool* pbUnchanged);

    // Repairs and patches write through the server's own in-place writer: SendStore hands it the
    // store's records (bFromA: the file holds FILE A's bytes and gets FILE B's), CheckStore and
    // WriteStore run its CheckFile and DoWrite there and copy its counts and failure into
    // `pCounts` (whose store and file are not touched), SyncFile flushes the file to disk.
    // False with ErrorText() when the connection ended; the writer's own verdicts are in pCounts
    // (*pbOk: what CheckFile or DoWrite returned there; *pErrno: 0 when flushed).
    bool SendStore(const CMyDiffDataBase& db, bool bFromA);
    bool CheckStore(CMyInPlaceWriter* pCounts, BOOL* pbOk);
    bool WriteStore(CMyInPlaceWriter* pCounts, BOOL* pbOk);
    bool SyncFile(int* pErrno);

    // Ends the connection: closes our ends and waits for the rsh to exit. False when the
    // connection had failed or the rsh ended badly (ErrorText()).
    bool Close();
    // Any thread: cuts the connection (its ends shut down, its rsh killed), so that a wait for a
    // server that has stopped answering ends as a lost connection. The owner still closes it.
    void Abandon();

    // "connection to HOST lost", a refusal of the far end, a malformed reply, …: English, one
    // line, naming the host.
    const std::string& ErrorText() const { return m_strError; }
    bool Connected() const { return m_pChild != nullptr && m_strError.empty(); }
    const std::string& Host() const { return m_target.m_strHost; }
    // The server's messages for our standard error, each already prefixed with the host's name.
    // Without a sink they are written to standard error.
    void SetNoteSink(std::function<void(const std::string&)> sink) { m_noteSink = std::move(sink); }

    // The rsh's process, while connected; -1 otherwise.
    int RshPid() const { return m_pChild ? m_pChild->Pid() : -1; }

    // Bytes that crossed the connection, each direction.
    std::uint64_t BytesSent() const { return m_nSent; }
    std::uint64_t BytesReceived() const { return m_nReceived; }

private:
    struct Pending {
        Ticket m_ticket = 0;
        std::uint32_t m_nType = 0;
        std::int64_t m_i64Begin = 0;
        std::int64_t m_i64End = 0;
        std::uint32_t m_nLeaf = 0;
        std::size_t m_nReplyBytes = 0;
        bool m_bArrived = false;
        bool m_bTaken = false;
        std::uint32_t m_nReplyType = 0;
        std::vector<std::uint8_t> m_body;
    };
    bool Fail(const std::string& strText);
    bool Lost();
    bool Malformed(const char* pWhat);
    bool ReadFailed(const Pending* p);
    Ticket Send(const std::vector<std::uint8_t>& frame, std::uint32_t nType,
                std::int64_t i64Begin, std::int64_t i64End, std::uint32_t nLeaf,
                std::size_t nReplyBytes);
    Pending* Await(Ticket t);
    bool ReadReply(Pending* p);
    void Release(Pending* p);
    // Sends one request and waits for its reply, of the type expected.
    bool Call(const std::vector<std::uint8_t>& frame, std::uint32_t nType, std::uint32_t nReplyType,
              std::vector<std::uint8_t>* pReply, std::uint32_t* pnReplyType = nullptr);
    bool Handshake();
    bool ForeignAnswer(const std::string& strAnswer);
    bool ReadFrame(std::uint32_t* pnType, std::vector<std::uint8_t>* pBody);
    // Reads up to `n` bytes, at least one: 0 at the end or on failure.
    std::size_t ReadSome(void* p, std::size_t n);
    bool ReadExact(void* p, std::size_t n);
    bool Write(const std::vector<std::uint8_t>& b);
    bool RunWriter(std::uint32_t nType, CMyInPlaceWriter* pCounts, BOOL* pbOk);

    RemoteTarget m_target;
    std::unique_ptr<platform::ChildProcess> m_pChild;
    std::vector<std::uint8_t> m_in; // what came and was not yet taken
    std::size_t m_nInPos = 0;
    std::size_t m_nInEnd = 0;
    std::string m_strError;
    bool m_bRefused = false;
    OpenRefusal m_refusal;
    platform::FileIdentity m_idOpen;
    bool m_bOpen = false;
    std::deque<Pending> m_pending; // asked, not taken, in the order asked
    Ticket m_nextTicket = 1;
    std::size_t m_nBytesInFlight = 0;
    std::size_t m_nInFlight = 0;
    int m_nReadErrno = 0;
    std::int64_t m_i64StoreRecords = -1;
    std::uint64_t m_nSent = 0;
    std::uint64_t m_nReceived = 0;
    std::function<void(const std::string&)> m_noteSink;
};

} // namespace remote
