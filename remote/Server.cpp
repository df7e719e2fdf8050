#include "remote/Server.h"

#include "diffdb/CMyDiffDataBase.h"
#include "diffdb/CMyInPlaceWriter.h"
#include "platform/FileChange.h"
#include "platform/FileStatus.h"
#include "platform/LowFile.h"
#include "remote/Digest.h"
#include "remote/Protocol.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace remote {
namespace {

constexpr int kExitSound = 0;
constexpr int kExitTrouble = 2;

class CServer {
public:
    CServer(int nIn, int nOut) : m_nIn(nIn), m_nOut(nOut) {}
    ~CServer() { CloseFile(); }
    int Run();

private:
    enum Read { kReadOk, kReadEnd, kReadFailed };
    Read ReadFrame(std::uint32_t* pnType);
    bool Send(FrameBuilder& f) { return Send(f.Bytes()); }
    bool Send(const std::vector<std::uint8_t>& b) {
        return platform::FileWrite(m_nOut, b.data(), b.size()) == static_cast<std::int64_t>(b.size());
    }
    // A request this server does not take: said once, then the server ends.
    int Refuse(const std::string& strWhy) {
        FrameBuilder f(kMsgFailure);
        Send(f.Str(strWhy.substr(0, kMaxText)));
        return kExitTrouble;
    }
    bool Handle(std::uint32_t nType, std::string* pWhy);
    bool OnOpen(BodyReader& r, std::string* pWhy);
    bool OnDigests(BodyReader& r, std::string* pWhy);
    bool OnBytes(BodyReader& r, std::string* pWhy);
    bool OnStat(std::string* pWhy);
    bool OnStore(BodyReader& r, std::string* pWhy);
    bool OnWriter(bool bWrite, std::string* pWhy);
    bool OnSync(std::string* pWhy);
    bool ReadFailed(int nErrno) {
        FrameBuilder f(kMsgReadFailed);
        return Send(f.I32(nErrno));
    }
    platform::FileIdentity Measured(platform::FileIdentity id) const;
    void CloseFile() {
        if (m_nFile != -1)
            platform::FileClose(m_nFile);
        m_nFile = -1;
    }

    int m_nIn;
    int m_nOut;
    std::vector<std::uint8_t> m_body;
    std::vector<LeafDigest> m_digests;
    std::vector<std::uint8_t> m_bytes;
    LeafDigester m_digester;
    int m_nFile = -1;
    bool m_bBlockDevice = false;
    std::string m_strPath;
    platform::FileIdentity m_idOpen;
    CMyDiffDataBase m_store;
    CMyInPlaceWriter m_writer;
    bool m_bFromA = true;
    std::int64_t m_i64Total = -1; // records announced for the store; -1 while none
};

CServer::Read CServer::ReadFrame(std::uint32_t* pnType) {
    std::uint8_t header[kFrameHeader];
    const std::int64_t got = platform::FileRead(m_nIn, header, sizeof header);
    if (got == 0)
        return kReadEnd;
    std::uint32_t nLength = 0;
    if (got != static_cast<std::int64_t>(sizeof header) ||
        !ParseFrameHeader(header, pnType, &nLength))
        return kReadFailed;
    m_body.resize(nLength);
    if (nLength != 0 && platform::FileRead(m_nIn, m_body.data(), nLength) != nLength)
        return kReadFailed;
    return kReadOk;
}

int CServer::Run() {
    if (!Send(HelloFrame()))
        return kExitTrouble;
    char magic[sizeof kMagic];
    if (platform::FileRead(m_nIn, magic, sizeof magic) != static_cast<std::int64_t>(sizeof magic) ||
        std::memcmp(magic, kMagic, sizeof magic) != 0)
        return kExitTrouble;
    std::uint32_t nType = 0;
    std::uint32_t nProtocol = 0;
    std::string strVersion;
    if (ReadFrame(&nType) != kReadOk || nType != kMsgHello ||
        !DecodeHello(m_body.data(), m_body.size(), &nProtocol, &strVersion))
        return kExitTrouble;
    // Another version: the client has our hello and says what to install; nothing more to say.
    if (nProtocol != kProtocolVersion || strVersion != ProgramVersion())
        return kExitTrouble;
    for (;;) {
        switch (ReadFrame(&nType)) {
        case kReadEnd:
            return kExitSound;
        case kReadFailed:
            return kExitTrouble;
        case kReadOk:
            break;
        }
        std::string strWhy;
        if (!Handle(nType, &strWhy))
            return strWhy.empty() ? kExitTrouble : Refuse(strWhy);
    }
}

bool CServer::Handle(std::uint32_t nType, std::string* pWhy) {
    BodyReader r(m_body.data(), m_body.size());
    switch (nType) {
    case kMsgOpen:
        return OnOpen(r, pWhy);
    case kMsgDigests:
        return OnDigests(r, pWhy);
    case kMsgBytes:
        return OnBytes(r, pWhy);
    case kMsgStat:
        return OnStat(pWhy);
    case kMsgStore:
        return OnStore(r, pWhy);
    case kMsgCheck:
    case kMsgWrite:
        return OnWriter(nType == kMsgWrite, pWhy);
    case kMsgSync:
        return OnSync(pWhy);
    default:
        *pWhy = "unknown request " + std::to_string(nType);
        return false;
    }
}

// A block device's node has no size: its size is where its end lies.
platform::FileIdentity CServer::Measured(platform::FileIdentity id) const {
    if (m_bBlockDevice) {
        const std::int64_t end = platform::FileSeek(m_nFile, 0, platform::kSeekEnd);
        id.m_i64Size = end < 0 ? 0 : end;
    }
    return id;
}

bool CServer::OnOpen(BodyReader& r, std::string* pWhy) {
    const std::uint8_t mode = r.U8();
    std::string strPath = r.Str(kMaxPath);
    if (!r.Done() || mode > 1 || strPath.empty()) {
        *pWhy = "malformed open";
        return false;
    }
    CloseFile();
    m_i64Total = -1;
    platform::FileStatus st;
    const bool bExists = platform::GetFileStatus(strPath, &st);
    // The same open a local run makes: only regular files and block devices, no waiting.
    m_nFile = platform::FileOpen(strPath, (mode == 1 ? platform::kOpenReadWrite : platform::kOpenRead) |
                                             platform::kOpenCompared);
    if (m_nFile == -1) {
        FrameBuilder f(kMsgRefused);
        return Send(f.U8(bExists ? 1 : 0)
                        .U8(static_cast<std::uint8_t>(bExists ? st.m_kind : platform::FileKind::Regular))
                        .I32(platform::LastError()));
    }
    m_strPath = std::move(strPath);
    m_idOpen = platform::IdentityOfHandle(m_nFile);
    m_bBlockDevice = bExists && st.m_kind == platform::FileKind::BlockDevice;
    FrameBuilder f(kMsgOpened);
    return Send(f.Identity(Measured(m_idOpen)));
}

bool CServer::OnDigests(BodyReader& r, std::string* pWhy) {
    const std::int64_t begin = r.I64();
    const std::int64_t end = r.I64();
    const std::uint32_t leaf = r.U32();
    if (!r.Done() || m_nFile == -1 || leaf == 0 || leaf > kMaxLeaf || begin < 0 || end < begin ||
        LeafDigester::LeafCount(end - begin, leaf) > kMaxLeavesAsked) {
        *pWhy = "malformed digest request";
        return false;
    }
    const std::size_t count = LeafDigester::LeafCount(end - begin, leaf);
    m_digests.resize(count);
    int nErrno = 0;
    if (!m_digester.DigestFileRange(m_nFile, begin, end, leaf, m_digests.data(), &nErrno))
        return ReadFailed(nErrno);
    FrameBuilder f(kMsgDigestsReply);
    f.I64(begin).I64(end).U32(leaf).U32(static_cast<std::uint32_t>(count));
    return Send(f.Raw(m_digests.data(), count * kDigestSize));
}

bool CServer::OnBytes(BodyReader& r, std::string* pWhy) {
    const std::int64_t begin = r.I64();
    const std::uint32_t n = r.U32();
    if (!r.Done() || m_nFile == -1 || begin < 0 || n > kMaxBytesAsked) {
        *pWhy = "malformed byte request";
        return false;
    }
    m_bytes.resize(n);
    const std::int64_t got = platform::FileReadAt(m_nFile, m_bytes.data(), n, begin);
    if (got < 0)
        return ReadFailed(platform::LastError());
    if (got < n)
        return ReadFailed(0);
    FrameBuilder f(kMsgBytesReply);
    return Send(f.I64(begin).U32(n).Raw(m_bytes.data(), n));
}

bool CServer::OnStat(std::string* pWhy) {
    if (!m_body.empty() || m_nFile == -1) {
        *pWhy = "malformed stat request";
        return false;
    }
    const bool bUnchanged = platform::FileUnchangedSinceOpen(m_nFile, m_strPath, m_idOpen);
    FrameBuilder f(kMsgStatReply);
    return Send(f.U8(bUnchanged ? 1 : 0).Identity(Measured(platform::IdentityOfHandle(m_nFile))));
}

bool CServer::OnStore(BodyReader& r, std::string* pWhy) {
    const std::uint8_t first = r.U8();
    const std::uint8_t fromA = r.U8();
    const std::int64_t total = r.I64();
    const std::uint32_t count = r.U32();
    const std::int64_t held = first == 1 ? 0 : m_store.GetDiffNum();
    if (!r.Ok() || first > 1 || fromA > 1 || m_nFile == -1 || count > kStoreChunk ||
        total < 0 || total > CMyDiffDataBase::kMaxItems ||
        (first == 0 && (m_i64Total != total || m_bFromA != (fromA == 1))) ||
        held + count > total) {
        *pWhy = "malformed store";
        return false;
    }
    if (first == 1) {
        m_store.ResetDiffData();
        m_i64Total = total;
        m_bFromA = fromA == 1;
        // Room for every record at once, so that adding one can neither fail nor trace.
        try {
            m_store.m_ai64Adrs.reserve(static_cast<std::size_t>(total));
            m_store.m_abDataA.reserve(static_cast<std::size_t>(total));
            m_store.m_abDataB.reserve(static_cast<std::size_t>(total));
        } catch (const std::bad_alloc&) {
            *pWhy = "out of memory for " + std::to_string(total) + " records";
            m_i64Total = -1;
            return false;
        }
    }
    for (std::uint32_t k = 0; k < count; ++k) {
        const std::int64_t adrs = r.I64();
        const std::uint8_t a = r.U8();
        const std::uint8_t b = r.U8();
        if (!r.Ok() || adrs < 0) {
            *pWhy = "malformed store";
            return false;
        }
        m_store.AddDiffData(adrs, a, b);
    }
    if (!r.Done()) {
        *pWhy = "malformed store";
        return false;
    }
    FrameBuilder f(kMsgStoreTaken);
    return Send(f.I64(m_store.GetDiffNum()));
}

bool CServer::OnWriter(bool bWrite, std::string* pWhy) {
    if (!m_body.empty() || m_nFile == -1 || m_i64Total < 0 || m_store.GetDiffNum() != m_i64Total) {
        *pWhy = "no whole store to write from";
        return false;
    }
    BOOL bOk = FALSE;
    if (bWrite) {
        bOk = m_writer.DoWrite();
    } else {
        m_writer.SetDataBaseADRS(&m_store);
        m_writer.SetPatchSource(m_bFromA ? TRUE : FALSE);
        bOk = m_writer.SetFile(m_nFile) && m_writer.CheckFile();
    }
    WriterCounts c;
    c.m_bOk = bOk != FALSE;
    c.m_i64From = m_writer.m_i64From;
    c.m_i64To = m_writer.m_i64To;
    c.m_i64Other = m_writer.m_i64Other;
    c.m_i64FirstBad = m_writer.m_i64FirstBad;
    c.m_bFirstBadInside = m_writer.m_bFirstBadInside != FALSE;
    c.m_bFirstBadHeld = m_writer.m_bFirstBadHeld;
    c.m_i64FirstFrom = m_writer.m_i64FirstFrom;
    c.m_bCounted = m_writer.m_bCounted != FALSE;
    c.m_i64FileSize = m_writer.m_i64FileSize;
    c.m_i64Written = m_writer.m_i64Written;
    c.m_i64ToBefore = m_writer.m_i64ToBefore;
    c.m_nFailure = m_writer.m_nFailure;
    c.m_nErrno = m_writer.m_nErrno;
    c.m_i64FailAdrs = m_writer.m_i64FailAdrs;
    FrameBuilder f(kMsgWriterCounts);
    PutWriterCounts(&f, c);
    return Send(f);
}

bool CServer::OnSync(std::string* pWhy) {
    if (!m_body.empty() || m_nFile == -1) {
        *pWhy = "malformed sync request";
        return false;
    }
    const int nErrno = platform::FileSync(m_nFile) == 0 ? 0 : platform::LastError();
    FrameBuilder f(kMsgSynced);
    return Send(f.I32(nErrno));
}

} // namespace

int RunServer(int nIn, int nOut) {
    CServer server(nIn, nOut);
    return server.Run();
}

} // namespace remote
