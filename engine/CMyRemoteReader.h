#pragma once
// Blocks of a run where one file or both lie on another machine. Neither file crosses the wire
// whole: both sides digest their leaves, a leaf whose digests agree is equal as it stands (a run
// of kNeither, nothing in the blocks), a leaf that differs is digested again in sub-leaves, and
// only the sub-leaves that differ are fetched, so that the comparison looks at real bytes wherever
// the files differ. Where a differing leaf's sub-leaves agree, both blocks get the same bytes: the
// local file's, or zeros when both files are remote.
// One thread works a block ahead of the comparison, and asks each server for the digests of the
// blocks after it before it needs them, so that a link's round trip does not set the pace; what is
// asked and not taken is bounded by the connection.
#include "engine/CMyBlockSource.h"
#include "remote/Digest.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace remote {
class RemoteFile;
}

class CMyRemoteReader : public CMyBlockSource {
public:
    // Blocks whose leaf digests are asked before the block is read.
    static constexpr int kDigestsAhead = 4;

    CMyRemoteReader() = default;
    ~CMyRemoteReader() override { Stop(); }
    CMyRemoteReader(const CMyRemoteReader&) = delete;
    CMyRemoteReader& operator=(const CMyRemoteReader&) = delete;

    // Each pair holds two blocks of `nRoom` bytes, one after the other; they outlive the reader.
    void SetBuffers(BYTE* pPairA, BYTE* pPairB, std::uint32_t nRoom);
    // A new run over `i64Length` bytes of the two files: each either a local handle (its remote
    // file null) or a remote file, opened. The remote files are this reader's until Stop.
    void Start(int fdA, remote::RemoteFile* pRemoteA, int fdB, remote::RemoteFile* pRemoteB,
               std::int64_t i64Length);

    void ReadAhead(std::uint32_t nSize) override;
    bool IsReadingAhead() const override { return m_bAhead; }
    bool TakeBlock(std::int64_t* pi64ReadA, std::int64_t* pi64ReadB,
                   const std::function<bool()>& giveUp) override;
    BYTE* BlockA() const override { return m_apBuf[0][m_nCurrent]; }
    BYTE* BlockB() const override { return m_apBuf[1][m_nCurrent]; }
    const Run& RunAt(std::uint32_t nPos) override {
        while (m_runs[m_nRun].m_nEnd <= nPos)
            ++m_nRun;
        return m_runs[m_nRun];
    }
    void Compared(std::int64_t, bool) override {}
    void Stop() override;

    // After a block taken with a failed side: the connection's own words when it was the
    // connection that failed (empty for a read the server or this machine refused).
    const std::string& FailureText() const { return m_strFailure; }

private:
    struct Side {
        int m_fd = -1;
        remote::RemoteFile* m_pRemote = nullptr;
        std::int64_t m_i64Read = 0; // of the block last read
    };
    // Digests asked ahead of the block that needs them, in block order.
    struct Asked {
        std::int64_t m_i64Offset;
        std::uint32_t m_nSize;
        std::uint64_t m_aTicket[2];
    };
    void Loop();
    void ReadBlock(int nSlot, std::int64_t i64Offset, std::uint32_t nSize);
    void AskDigestsAhead();
    bool LeafDigests(int nSide, std::int64_t i64Offset, std::uint32_t nSize,
                     std::vector<remote::LeafDigest>* pOut);
    bool RefineLeaves(int nSlot, std::int64_t i64Offset, const std::vector<std::uint32_t>& leaves,
                      std::uint32_t nSize);
    bool Fail(int nSide);

    BYTE* m_apBuf[2][2] = {};
    std::uint32_t m_nRoom = 0;
    Side m_aSides[2];
    std::int64_t m_i64Length = 0;
    std::int64_t m_i64Next = 0;        // the offset of the next block to be asked for
    std::int64_t m_i64AskedUpTo = 0;   // digests are asked up to here
    std::uint32_t m_nBlockSize = 0;    // of the whole blocks
    std::deque<Asked> m_asked;
    remote::LeafDigester m_digester;
    std::vector<remote::LeafDigest> m_aDigests[2];
    std::vector<remote::LeafDigest> m_aSubDigests[2];
    std::string m_strFailure;
    std::vector<Run> m_pending; // the runs of the block being read
    std::vector<Run> m_runs;    // of the block taken
    std::vector<Run> m_aRunsOf[2];
    std::size_t m_nRun = 0;
    int m_nCurrent = 1;
    bool m_bAhead = false;

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_bAsked = false;  // guarded by m_mutex: a block is to be read
    bool m_bRead = false;   // guarded by m_mutex: the block is read and not yet taken
    bool m_bStop = false;   // guarded by m_mutex
    std::int64_t m_i64AskOffset = 0; // guarded by m_mutex
    std::uint32_t m_nAskSize = 0;    // guarded by m_mutex
};
