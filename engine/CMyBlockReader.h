#pragma once
// Reads the blocks of a run into the two buffers and says how each part of a block is compared.
// Where the file system keeps a hole (it reads as zeros) nothing is read: a part that is a hole
// in both files is equal as it stands, a part that is a hole in one file is compared with zeros.
// The map of the holes is asked afresh for every block; a file whose file system cannot tell,
// or whose map changes while a block is read, is read plainly from then on. When the two files
// together would crowd the page cache, what has been compared is dropped from it behind the run
// for each file that was not in the cache already.
#include "platform/Sparse.h"
#include "platform/WinTypes.h"

#include <cstdint>

class CMyBlockReader {
public:
    enum Kind : std::uint8_t { kBoth, kOnlyA, kOnlyB, kNeither };
    // A part of the block, from where the one before it ends up to m_nEnd.
    struct Run {
        std::uint32_t m_nEnd;
        Kind m_kind;
    };
    static constexpr int kMaxRanges = 32;              // data ranges kept per file and block
    // Dropped in steps of 256 MiB: a few calls per GiB, and at most that much of each file held
    // by the run. Steps from 8 MiB up cost a cold 1 GiB run nothing measurable here (the
    // benchmark's identical-1g-cold line times the dropping run against the plain one).
    static constexpr std::int64_t kDropStep = std::int64_t{1} << 28;

    // A new run over the two handles, both at their first byte, of files of these sizes.
    void Start(int fdA, int fdB, std::int64_t i64SizeA, std::int64_t i64SizeB);
    // Reads the next `nSize` bytes of both files. Each result is what a plain read of the file
    // would give: the number of bytes read, fewer when the file ended early, or -1.
    void Read(BYTE* pBufA, BYTE* pBufB, std::uint32_t nSize, std::int64_t* pi64ReadA,
              std::int64_t* pi64ReadB);
    // The part of the block read last that holds buffer position `nPos`. Within a block the
    // positions asked for never go back.
    const Run& RunAt(std::uint32_t nPos) {
        while (m_aRuns[m_nRun].m_nEnd <= nPos)
            ++m_nRun;
        return m_aRuns[m_nRun];
    }
    // Everything before `i64Done` has been compared; `bLast`: the run is over.
    void Compared(std::int64_t i64Done, bool bLast);

    // For tests: the files read plainly from now on.
    bool ReadsPlainly(int nFile) const { return m_aFiles[nFile].m_bPlain; }

private:
    struct File {
        int m_fd = -1;
        bool m_bPlain = false;
        bool m_bDrop = false;
        std::int64_t m_i64Dropped = 0;
        int m_nRanges = 0;
        platform::FileRange m_aRanges[kMaxRanges];
    };
    std::int64_t ReadFile(File& f, BYTE* pBuf, std::uint32_t nSize);
    void MakeRuns(std::uint32_t nSize);

    File m_aFiles[2];
    std::int64_t m_i64Offset = 0;
    int m_nRun = 0; // next to the first run, which a plain block has alone
    Run m_aRuns[4 * kMaxRanges + 2] = {};
};
