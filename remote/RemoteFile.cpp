#include "remote/RemoteFile.h"

#include "diffdb/CMyDiffDataBase.h"
#include "platform/Clock.h"
#include "remote/Protocol.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace remote {
namespace {

static_assert(RemoteFile::kMaxBytesAsked == remote::kMaxBytesAsked);
static_assert(RemoteFile::kMaxLeavesAsked == remote::kMaxLeavesAsked);

constexpr std::size_t kInBuffer = 64 * 1024;
constexpr std::size_t kMaxAnswerShown = 200;
// How long a connection being closed may take to end once its input has.
constexpr std::int64_t kCloseGraceMs = 2000;

std::uint32_t ReplyTypeOf(std::uint32_t nType) {
    switch (nType) {
    case kMsgOpen:
        return kMsgOpened;
    case kMsgDigests:
        return kMsgDigestsReply;
    case kMsgBytes:
        return kMsgBytesReply;
    case kMsgStat:
        return kMsgStatReply;
    case kMsgStore:
        return kMsgStoreTaken;
    case kMsgCheck:
    case kMsgWrite:
        return kMsgWriterCounts;
    case kMsgSync:
        return kMsgSynced;
    default:
        return 0;
    }
}

// Something the far end printed instead of speaking: one line, printable, short.
std::string Printable(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\n' || c == '\r') {
            if (!out.empty())
                break;
            continue;
        }
        out += static_cast<unsigned char>(c) < 0x20 || c == 0x7f ? '?' : c;
        if (out.size() >= kMaxAnswerShown)
            break;
    }
    return out;
}

} // namespace

RemoteFile::RemoteFile() = default;

RemoteFile::~RemoteFile() { Close(); }

bool RemoteFile::Fail(const std::string& strText) {
    if (m_strError.empty())
        m_strError = strText;
    // Nothing more is asked of a far end that said something unexpected, or is gone.
    if (m_pChild)
        m_pChild->CloseToChild();
    return false;
}

bool RemoteFile::Lost() { return Fail("connection to " + m_target.m_strHost + " lost"); }

bool RemoteFile::Malformed(const char* pWhat) {
    return Fail(m_target.m_strHost + " sent a malformed reply (" + pWhat + ")");
}

bool RemoteFile::Write(const std::vector<std::uint8_t>& b) {
    if (!Connected())
        return false;
    if (m_pChild->Write(b.data(), b.size()) != static_cast<std::int64_t>(b.size()))
        return Lost();
    m_nSent += b.size();
    return true;
}

std::size_t RemoteFile::ReadSome(void* p, std::size_t n) {
    if (m_nInPos == m_nInEnd) {
        if (!m_pChild)
            return 0;
        m_in.resize(kInBuffer);
        const std::int64_t got = m_pChild->Read(m_in.data(), m_in.size());
        if (got <= 0)
            return 0;
        m_nReceived += static_cast<std::uint64_t>(got);
        m_nInPos = 0;
        m_nInEnd = static_cast<std::size_t>(got);
    }
    const std::size_t k = std::min(n, m_nInEnd - m_nInPos);
    std::memcpy(p, m_in.data() + m_nInPos, k);
    m_nInPos += k;
    return k;
}

bool RemoteFile::ReadExact(void* p, std::size_t n) {
    auto* pb = static_cast<std::uint8_t*>(p);
    while (n > 0) {
        const std::size_t k = ReadSome(pb, n);
        if (k == 0)
            return Lost();
        pb += k;
        n -= k;
    }
    return true;
}

bool RemoteFile::ReadFrame(std::uint32_t* pnType, std::vector<std::uint8_t>* pBody) {
    for (;;) {
        std::uint8_t header[kFrameHeader];
        std::uint32_t nLength = 0;
        if (!ReadExact(header, sizeof header))
            return false;
        if (!ParseFrameHeader(header, pnType, &nLength))
            return Malformed("length");
        pBody->resize(nLength);
        if (nLength != 0 && !ReadExact(pBody->data(), nLength))
            return false;
        std::string strText;
        if (*pnType == kMsgNote || *pnType == kMsgFailure) {
            if (!DecodeText(pBody->data(), pBody->size(), &strText))
                return Malformed("text");
            if (*pnType == kMsgFailure)
                return Fail(m_target.m_strHost + " refused: " + strText);
            const std::string strLine = m_target.m_strHost + ": " + strText;
            if (m_noteSink)
                m_noteSink(strLine);
            else
                std::fprintf(stderr, "%s\n", strLine.c_str());
            continue;
        }
        return true;
    }
}

bool RemoteFile::Connect(const RemoteTarget& target) {
    m_target = target;
    m_strError.clear();
    if (m_pChild)
        return Fail("already connected");
    // A host taken for an option would run whatever that option says.
    if (target.m_strHost.empty() || target.m_strHost[0] == '-' || target.m_rsh.empty() ||
        target.m_program.empty())
        return Fail("not a host to connect to: " + target.m_strHost);
    std::vector<std::string> argv = target.m_rsh;
    argv.push_back(target.m_strHost);
    argv.insert(argv.end(), target.m_program.begin(), target.m_program.end());
    argv.push_back("--server");
    m_pChild = std::make_unique<platform::ChildProcess>();
    if (!m_pChild->Start(argv)) {
        const int nErrno = m_pChild->LastError();
        m_pChild.reset();
        return Fail("cannot run " + target.m_rsh[0] + ": " + std::strerror(nErrno));
    }
    return Handshake();
}

bool RemoteFile::ForeignAnswer(const std::string& strAnswer) {
    m_strError.clear(); // a failed write or read says less than this
    std::string strSaid = Printable(strAnswer);
    if (m_pChild)
        m_pChild->CloseToChild();
    // Whatever it printed and how it ended tell a missing program from a broken connection.
    const int nStatus = m_pChild ? m_pChild->Wait() : -1;
    if (strSaid.empty()) {
        if (nStatus == 255)
            return Fail("cannot reach " + m_target.m_strHost + ": " + m_target.m_rsh[0] +
                        " ended with status 255");
        strSaid = nStatus == 127   ? "command not found (exit status 127)"
                  : nStatus == 126 ? "cannot execute (exit status 126)"
                                   : "nothing (exit status " + std::to_string(nStatus) + ")";
    }
    return Fail(std::string("octetwatch-cli ") + ProgramVersion() + " is needed on " +
                m_target.m_strHost + " (the Debian package octetwatch); " + m_target.m_strHost +
                " answered: " + strSaid);
}

bool RemoteFile::Handshake() {
    // A far end that printed something and ended may be gone before the hello reaches it:
    // what it printed is read all the same.
    const bool bSaidHello = Write(HelloFrame());
    // The magic is read a piece at a time: a far end that printed something else and waits
    // must not keep us waiting for the rest.
    std::string got;
    while (got.size() < sizeof kMagic) {
        char buf[sizeof kMagic];
        const std::size_t k = ReadSome(buf, sizeof kMagic - got.size());
        if (k == 0)
            return ForeignAnswer(got);
        got.append(buf, k);
        if (std::memcmp(got.data(), kMagic, got.size()) != 0) {
            char more[kMaxAnswerShown];
            const std::size_t m = std::min(m_nInEnd - m_nInPos, sizeof more);
            if (m != 0)
                got.append(more, ReadSome(more, m));
            return ForeignAnswer(got);
        }
    }
    if (!bSaidHello)
        return false;
    std::uint32_t nType = 0;
    std::vector<std::uint8_t> body;
    if (!ReadFrame(&nType, &body))
        return false;
    std::uint32_t nProtocol = 0;
    std::string strVersion;
    if (nType != kMsgHello || !DecodeHello(body.data(), body.size(), &nProtocol, &strVersion))
        return Malformed("hello");
    if (nProtocol != kProtocolVersion || strVersion != ProgramVersion()) {
        return ForeignAnswer("octetwatch-cli " + strVersion + " (protocol " +
                             std::to_string(nProtocol) + ")");
    }
    return true;
}

RemoteFile::Ticket RemoteFile::Send(const std::vector<std::uint8_t>& frame, std::uint32_t nType,
                                    std::int64_t i64Begin, std::int64_t i64End,
                                    std::uint32_t nLeaf, std::size_t nReplyBytes) {
    if (!Connected())
        return 0;
    if (!MayAsk(nReplyBytes)) {
        Fail("too much asked of " + m_target.m_strHost + " at once");
        return 0;
    }
    if (!Write(frame))
        return 0;
    Pending p;
    p.m_ticket = m_nextTicket++;
    p.m_nType = nType;
    p.m_i64Begin = i64Begin;
    p.m_i64End = i64End;
    p.m_nLeaf = nLeaf;
    p.m_nReplyBytes = nReplyBytes;
    m_pending.push_back(std::move(p));
    m_nBytesInFlight += nReplyBytes;
    ++m_nInFlight;
    return m_pending.back().m_ticket;
}

bool RemoteFile::MayAsk(std::size_t nReplyBytes) const {
    return m_nInFlight < kMaxAsked && nReplyBytes <= kMaxBytesInFlight - m_nBytesInFlight;
}

std::size_t RemoteFile::DigestReplyBytes(std::int64_t i64Begin, std::int64_t i64End,
                                         std::uint32_t nLeaf) {
    return 24 + LeafDigester::LeafCount(i64End - i64Begin, nLeaf) * kDigestSize;
}

std::size_t RemoteFile::BytesReplyBytes(std::uint32_t n) { return 12 + std::size_t{n}; }

RemoteFile::Ticket RemoteFile::AskDigests(std::int64_t i64Begin, std::int64_t i64End,
                                          std::uint32_t nLeaf) {
    if (!m_bOpen || nLeaf == 0 || nLeaf > kMaxLeaf || i64Begin < 0 || i64End < i64Begin ||
        i64End > m_idOpen.m_i64Size ||
        LeafDigester::LeafCount(i64End - i64Begin, nLeaf) > kMaxLeavesAsked) {
        Fail("a digest request outside the file");
        return 0;
    }
    FrameBuilder f(kMsgDigests);
    return Send(f.I64(i64Begin).I64(i64End).U32(nLeaf).Bytes(), kMsgDigests, i64Begin, i64End,
                nLeaf, DigestReplyBytes(i64Begin, i64End, nLeaf));
}

RemoteFile::Ticket RemoteFile::AskBytes(std::int64_t i64Begin, std::uint32_t n) {
    if (!m_bOpen || n > kMaxBytesAsked || i64Begin < 0 || i64Begin > m_idOpen.m_i64Size - n) {
        Fail("a byte request outside the file");
        return 0;
    }
    FrameBuilder f(kMsgBytes);
    return Send(f.I64(i64Begin).U32(n).Bytes(), kMsgBytes, i64Begin, i64Begin + n, 0,
                BytesReplyBytes(n));
}

// Replies come in the order asked: each is the answer to the oldest request still unanswered.
bool RemoteFile::ReadReply(Pending* p) {
    std::uint32_t nType = 0;
    if (!ReadFrame(&nType, &p->m_body))
        return false;
    const std::uint32_t nExpected = ReplyTypeOf(p->m_nType);
    const bool bRead = p->m_nType == kMsgDigests || p->m_nType == kMsgBytes;
    if (nType == kMsgReadFailed && bRead) {
        if (p->m_body.size() != 4)
            return Malformed("read failure");
    } else if (nType == kMsgRefused && p->m_nType == kMsgOpen) {
        // checked when taken
    } else if (nType != nExpected) {
        return Malformed("a reply of another kind");
    } else if (bRead && p->m_body.size() != p->m_nReplyBytes) {
        return Malformed(p->m_nType == kMsgDigests ? "digests" : "bytes");
    }
    p->m_nReplyType = nType;
    p->m_bArrived = true;
    return true;
}

RemoteFile::Pending* RemoteFile::Await(Ticket t) {
    auto it = std::find_if(m_pending.begin(), m_pending.end(),
                           [t](const Pending& p) { return p.m_ticket == t && !p.m_bTaken; });
    if (t == 0 || it == m_pending.end()) {
        Fail("no such request");
        return nullptr;
    }
    Pending* pWanted = &*it;
    for (Pending& p : m_pending) {
        if (pWanted->m_bArrived)
            break;
        if (!p.m_bArrived && !p.m_bTaken && !ReadReply(&p))
            return nullptr;
    }
    return pWanted;
}

void RemoteFile::Release(Pending* p) {
    p->m_bTaken = true;
    p->m_body = {};
    m_nBytesInFlight -= p->m_nReplyBytes;
    --m_nInFlight;
    while (!m_pending.empty() && m_pending.front().m_bTaken)
        m_pending.pop_front();
}

// The far side could not read what a request asked for: always false, with why.
bool RemoteFile::ReadFailed(const Pending* p) {
    if (!DecodeReadFailed(p->m_body.data(), p->m_body.size(), &m_nReadErrno))
        return Malformed("read failure");
    return Fail("cannot read the file on " + m_target.m_strHost + ": " +
                (m_nReadErrno == 0 ? "it ended early" : std::strerror(m_nReadErrno)));
}

bool RemoteFile::TakeDigests(Ticket t, LeafDigest* out) {
    Pending* p = Await(t);
    if (p == nullptr)
        return false;
    if (p->m_nType != kMsgDigests)
        return Fail("not a digest request");
    bool bOk = true;
    if (p->m_nReplyType == kMsgReadFailed) {
        bOk = ReadFailed(p);
    } else if (!DecodeDigestsReply(p->m_body.data(), p->m_body.size(), p->m_i64Begin,
                                   p->m_i64End, p->m_nLeaf, out)) {
        bOk = Malformed("digests");
    }
    Release(p);
    return bOk;
}

bool RemoteFile::TakeBytes(Ticket t, std::uint8_t* out) {
    Pending* p = Await(t);
    if (p == nullptr)
        return false;
    if (p->m_nType != kMsgBytes)
        return Fail("not a byte request");
    bool bOk = true;
    if (p->m_nReplyType == kMsgReadFailed) {
        bOk = ReadFailed(p);
    } else if (!DecodeBytesReply(p->m_body.data(), p->m_body.size(), p->m_i64Begin,
                                 static_cast<std::uint32_t>(p->m_i64End - p->m_i64Begin), out)) {
        bOk = Malformed("bytes");
    }
    Release(p);
    return bOk;
}

bool RemoteFile::Call(const std::vector<std::uint8_t>& frame, std::uint32_t nType,
                      std::uint32_t nReplyType, std::vector<std::uint8_t>* pReply,
                      std::uint32_t* pnReplyType) {
    const Ticket t = Send(frame, nType, 0, 0, 0, 0);
    Pending* p = t == 0 ? nullptr : Await(t);
    if (p == nullptr)
        return false;
    const std::uint32_t nGot = p->m_nReplyType;
    *pReply = std::move(p->m_body);
    Release(p);
    if (pnReplyType != nullptr)
        *pnReplyType = nGot;
    else if (nGot != nReplyType)
        return Malformed("a reply of another kind");
    return true;
}

bool RemoteFile::Open(const std::string& strPath, OpenMode mode) {
    m_bRefused = false;
    m_bOpen = false;
    m_i64StoreRecords = -1;
    if (strPath.empty() || strPath.size() > kMaxPath)
        return Fail("not a path to open: " + strPath);
    FrameBuilder f(kMsgOpen);
    std::vector<std::uint8_t> reply;
    std::uint32_t nGot = 0;
    if (!Call(f.U8(mode == kOpenReadWrite ? 1 : 0).Str(strPath).Bytes(), kMsgOpen, kMsgOpened,
              &reply, &nGot))
        return false;
    if (nGot == kMsgRefused) {
        if (!DecodeRefused(reply.data(), reply.size(), &m_refusal.m_bExists, &m_refusal.m_kind,
                           &m_refusal.m_nErrno))
            return Malformed("refusal");
        m_bRefused = true;
        return false;
    }
    if (!DecodeOpened(reply.data(), reply.size(), &m_idOpen))
        return Malformed("open");
    m_bOpen = true;
    return true;
}

bool RemoteFile::Stat(platform::FileIdentity* pNow, bool* pbUnchanged) {
    if (!m_bOpen)
        return Fail("no file open on " + m_target.m_strHost);
    FrameBuilder f(kMsgStat);
    std::vector<std::uint8_t> reply;
    if (!Call(f.Bytes(), kMsgStat, kMsgStatReply, &reply))
        return false;
    if (!DecodeStatReply(reply.data(), reply.size(), pNow, pbUnchanged))
        return Malformed("stat");
    return true;
}

bool RemoteFile::SendStore(const CMyDiffDataBase& db, bool bFromA) {
    if (!m_bOpen)
        return Fail("no file open on " + m_target.m_strHost);
    // A store is large: with replies still owed, the far end could be waiting for us to read
    // them while we wait for it to take this.
    if (m_nInFlight != 0)
        return Fail("requests still in flight before a store");
    const std::int64_t total = std::min<std::int64_t>(
        {db.GetDiffNum(), static_cast<std::int64_t>(db.m_ai64Adrs.size()),
         static_cast<std::int64_t>(db.m_abDataA.size()), static_cast<std::int64_t>(db.m_abDataB.size())});
    m_i64StoreRecords = -1;
    std::int64_t sent = 0;
    do {
        const auto count = static_cast<std::uint32_t>(std::min<std::int64_t>(kStoreChunk, total - sent));
        FrameBuilder f(kMsgStore);
        f.U8(sent == 0 ? 1 : 0).U8(bFromA ? 1 : 0).I64(total).U32(count);
        for (std::int64_t k = sent; k < sent + count; ++k) {
            const auto i = static_cast<std::size_t>(k);
            f.I64(db.m_ai64Adrs[i]).U8(db.m_abDataA[i]).U8(db.m_abDataB[i]);
        }
        sent += count;
        std::vector<std::uint8_t> reply;
        if (!Call(f.Bytes(), kMsgStore, kMsgStoreTaken, &reply))
            return false;
        if (!DecodeStoreTaken(reply.data(), reply.size(), sent))
            return Malformed("store");
    } while (sent < total);
    m_i64StoreRecords = total;
    return true;
}

bool RemoteFile::RunWriter(std::uint32_t nType, CMyInPlaceWriter* pCounts, BOOL* pbOk) {
    if (m_i64StoreRecords < 0)
        return Fail("no store sent to " + m_target.m_strHost);
    FrameBuilder f(nType);
    std::vector<std::uint8_t> reply;
    if (!Call(f.Bytes(), nType, kMsgWriterCounts, &reply))
        return false;
    WriterCounts c;
    if (!DecodeWriterCounts(reply.data(), reply.size(), m_i64StoreRecords, &c))
        return Malformed("writer counts");
    *pbOk = c.m_bOk ? TRUE : FALSE;
    pCounts->m_i64From = c.m_i64From;
    pCounts->m_i64To = c.m_i64To;
    pCounts->m_i64Other = c.m_i64Other;
    pCounts->m_i64FirstBad = c.m_i64FirstBad;
    pCounts->m_bFirstBadInside = c.m_bFirstBadInside ? TRUE : FALSE;
    pCounts->m_bFirstBadHeld = c.m_bFirstBadHeld;
    pCounts->m_i64FirstFrom = c.m_i64FirstFrom;
    pCounts->m_bCounted = c.m_bCounted ? TRUE : FALSE;
    pCounts->m_i64FileSize = c.m_i64FileSize;
    pCounts->m_i64Written = c.m_i64Written;
    pCounts->m_i64ToBefore = c.m_i64ToBefore;
    pCounts->m_nFailure = c.m_nFailure;
    pCounts->m_nErrno = c.m_nErrno;
    pCounts->m_i64FailAdrs = c.m_i64FailAdrs;
    return true;
}

bool RemoteFile::CheckStore(CMyInPlaceWriter* pCounts, BOOL* pbOk) {
    return RunWriter(kMsgCheck, pCounts, pbOk);
}

bool RemoteFile::WriteStore(CMyInPlaceWriter* pCounts, BOOL* pbOk) {
    return RunWriter(kMsgWrite, pCounts, pbOk);
}

bool RemoteFile::SyncFile(int* pErrno) {
    if (!m_bOpen)
        return Fail("no file open on " + m_target.m_strHost);
    FrameBuilder f(kMsgSync);
    std::vector<std::uint8_t> reply;
    if (!Call(f.Bytes(), kMsgSync, kMsgSynced, &reply))
        return false;
    if (!DecodeSynced(reply.data(), reply.size(), pErrno))
        return Malformed("flush");
    return true;
}

void RemoteFile::Abandon() {
    if (m_pChild)
        m_pChild->Cut();
}

bool RemoteFile::Close() {
    if (!m_pChild)
        return m_strError.empty();
    // The server ends when its input ends, after the replies still owed, which are dropped;
    // then the rsh ends. A far end that failed us is not waited for, nor for long one that does
    // not end.
    m_pChild->CloseToChild();
    bool bCut = false; // what it owed is dropped anyway: how it ended then says nothing
    if (!m_strError.empty()) {
        m_pChild->Kill();
    } else {
        const std::int64_t i64Until = platform::MonotonicMs() + kCloseGraceMs;
        char drop[4096];
        for (;;) {
            const std::int64_t i64Left = i64Until - platform::MonotonicMs();
            if (m_nInPos == m_nInEnd &&
                (i64Left <= 0 || !m_pChild->WaitReadable(static_cast<int>(i64Left)))) {
                m_pChild->Cut();
                bCut = true;
                break;
            }
            if (ReadSome(drop, sizeof drop) == 0)
                break;
        }
    }
    const int nStatus = m_pChild->Wait();
    m_pChild.reset();
    m_pending.clear();
    m_nInFlight = 0;
    m_nBytesInFlight = 0;
    m_bOpen = false;
    if (m_strError.empty() && nStatus != 0 && !bCut)
        m_strError = m_target.m_rsh[0] + " to " + m_target.m_strHost + " ended with status " +
                     std::to_string(nStatus);
    return m_strError.empty();
}

} // namespace remote
