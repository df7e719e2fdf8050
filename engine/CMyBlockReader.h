#pragma once
// Reads the blocks of a run and says how each part of a block is compared. While one block is
// compared the next is read, each file by a thread of its own: the two files are read at once, and
// the copy out of the page cache runs beside the comparison. The blocks go by turns into the two
// halves of each file's buffer pair.
// Where the file system keeps a hole (it reads as zeros) nothing is read: a part that is a hole
// in both files is equal as it stands, a part that is a hole in one file is compared with zeros.
// The map of the holes is asked afresh for every block; a file whose file system cannot tell,
// or whose map changes while a block is read, is read plainly from then on. When the two files
// together would crowd the page cache, what has been compared is dropped from it behind the run
// for each file that was not in the cache already.
#include "engine/CMyBlockSource.h"
#include "platform/Mutex.h"
#include "platform/Sparse.h"
#include "platform/WinTypes.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <thread>

class CMyBlockReader : public CMyBlockSource {
public:
    static constexpr int kMaxRanges = 32;              // data ranges kept per file and block
    // Dropped in steps of 256 MiB: a few calls per GiB, and at most that much of each file held
    // by the run. Steps from 8 MiB up cost a cold 1 GiB run nothing measurable here (the
    // benchmark's identical-1g-cold line times the dropping run against the plain one).
    static constexpr std::int64_t kDropStep = std::int64_t{1} << 28;

    CMyBlockReader() = default;
    ~CMyBlockReader() override { Stop(); }
    CMyBlockReader(const CMyBlockReader&) = delete;
    CMyBlockReader& operator=(const CMyBlockReader&) = delete;

    // Each pair holds two blocks of `nRoom` bytes, one after the other; they outlive the reader.
    void SetBuffers(BYTE* pPairA, BYTE* pPairB, std::uint32_t nRoom);
    // A new run over the two handles, of files of these sizes; blocks are read from the first byte.
    void Start(int fdA, int fdB, std::int64_t i64SizeA, std::int64_t i64SizeB);
    // Begins reading the next `nSize` bytes of both files into the halves not being compared.
    void ReadAhead(std::uint32_t nSize) override;
    bool IsReadingAhead() const override { return m_bAhead; }
    // Waits for the block being read and makes it the one compared. Each result is what a plain
    // read of the file would give: the number of bytes read, fewer when the file ended early, or
    // -1. False, with nothing taken, when `giveUp` said so first (it is asked while waiting).
    bool TakeBlock(std::int64_t* pi64ReadA, std::int64_t* pi64ReadB,
                   const std::function<bool()>& giveUp) override;
    BYTE* BlockA() const override { return m_aFiles[0].m_apBuf[m_nCurrent]; }
    BYTE* BlockB() const override { return m_aFiles[1].m_apBuf[m_nCurrent]; }
    // The part of the block taken last that holds buffer position `nPos`. Within a block the
    // positions asked for never go back.
    const Run& RunAt(std::uint32_t nPos) override {
        while (m_aRuns[m_nRun].m_nEnd <= nPos)
            ++m_nRun;
        return m_aRuns[m_nRun];
    }
    // Everything before `i64Done` has been compared; `bLast`: the run is over.
    void Compared(std::int64_t i64Done, bool bLast) override;
    // Ends the reading threads, after the read under way if any: the handles may then be closed.
    // A block read ahead and not taken is forgotten.
    void Stop() override;

    // For tests: the files read plainly from now on.
    bool ReadsPlainly(int nFile) const { return m_aFiles[nFile].m_bPlain; }

private:
    // One block of both files, as read.
    struct Block {
        std::int64_t m_i64Offset = 0;
        std::uint32_t m_nSize = 0;
        // Each file's part is written by that file's thread alone, and read once it is done.
        std::int64_t m_ai64Read[2] = {};
        int m_anRanges[2] = {};
        platform::FileRange m_aRanges[2][kMaxRanges];
    };
    struct File {
        int m_fd = -1;
        BYTE* m_apBuf[2] = {};
        bool m_bPlain = false; // this file's thread's while the run goes on
        bool m_bDrop = false;
        std::int64_t m_i64Dropped = 0;
        bool m_bAsked = false; // guarded by m_mutex: a block is to be read
        bool m_bRead = false;  // guarded by m_mutex: the block is read and not yet taken
        std::thread m_thread;
    };
    void ReaderLoop(int nFile);
    void ReadInto(int nFile, Block& block);
    std::int64_t ReadFile(File& f, Block& block, platform::FileRange* ranges, int* pnRanges,
                          BYTE* pBuf);
    void MakeRuns(const Block& block);

    File m_aFiles[2];
    Block m_aBlocks[2];
    int m_nCurrent = 1;      // the block compared; the other one is read ahead
    bool m_bAhead = false;   // a block is asked for and not yet taken
    std::int64_t m_i64Next = 0;
    // Guards m_bStop and each file's m_bAsked and m_bRead (the analysis cannot name it from
    // inside File).
    platform::CMutex m_mutex;
    std::condition_variable m_cvAsked; // a file's thread has a block to read, or is to stop
    std::condition_variable m_cvRead;  // a file's block is read
    bool m_bStop GUARDED_BY(m_mutex) = false;
    int m_nRun = 0; // next to the first run, which a plain block has alone
    Run m_aRuns[4 * kMaxRanges + 2] = {};
};
