#pragma once
// Where the engine's blocks come from: both files read here (CMyBlockReader), or one or both
// proved equal by digests and fetched where they differ from another machine (CMyRemoteReader).
// The comparison sees two blocks and the parts of them that need looking at either way.
#include "platform/WinTypes.h"

#include <cstdint>
#include <functional>

class CMyBlockSource {
public:
    enum Kind : std::uint8_t { kBoth, kOnlyA, kOnlyB, kNeither };
    // A part of the block, from where the one before it ends up to m_nEnd. kNeither: equal as it
    // stands, nothing in either block to look at.
    struct Run {
        std::uint32_t m_nEnd;
        Kind m_kind;
    };

    virtual ~CMyBlockSource() = default;
    // Begins reading the next `nSize` bytes of both files into the halves not being compared.
    virtual void ReadAhead(std::uint32_t nSize) = 0;
    virtual bool IsReadingAhead() const = 0;
    // Waits for the block being read and makes it the one compared. Each result is what a plain
    // read of the file would give: the number of bytes read, fewer when the file ended early, or
    // -1. False, with nothing taken, when `giveUp` said so first (it is asked while waiting).
    virtual bool TakeBlock(std::int64_t* pi64ReadA, std::int64_t* pi64ReadB,
                           const std::function<bool()>& giveUp) = 0;
    virtual BYTE* BlockA() const = 0;
    virtual BYTE* BlockB() const = 0;
    // The part of the block taken last that holds buffer position `nPos`. Within a block the
    // positions asked for never go back.
    virtual const Run& RunAt(std::uint32_t nPos) = 0;
    // Everything before `i64Done` has been compared; `bLast`: the run is over.
    virtual void Compared(std::int64_t i64Done, bool bLast) = 0;
    // Ends the reading, after the read under way if any: the files may then be closed.
    virtual void Stop() = 0;
};
