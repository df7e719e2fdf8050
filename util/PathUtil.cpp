#include "util/PathUtil.h"

#include "platform/FileStatus.h"
#include "platform/Format.h"
#include "util/Trace.h"

#include <climits>
#include <cstdint>
#include <cstring>

std::string g_strModuleFold;

namespace {
constexpr char kSeparator = '/';
constexpr std::size_t kMaxPath = PATH_MAX - 1; // 4095 bytes
constexpr std::size_t kCommaArea = 1000;       // result area of AddComma, terminator included

// A pointer printed whole: cut to 32 bits it could show a live pointer as null.
unsigned long long PointerValue(const void* p) {
    return static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(p));
}
} // namespace

BOOL IsSjisLeadByte(BYTE c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xF5); }

BOOL IsSjisTrailByte(BYTE c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

int SjisReverseFind(const char* pStr, char ch) {
    if (pStr == nullptr)
        return -1;
    int found = -1;
    for (int pos = 0;;) {
        const auto c = static_cast<BYTE>(pStr[pos]);
        if (pStr[pos] == ch)
            found = pos;
        if (c == 0)
            return found;
        if (IsSjisLeadByte(c) && IsSjisTrailByte(static_cast<BYTE>(pStr[pos + 1])))
            pos += 2;
        else
            pos += 1;
    }
}

int GetModuleFold(std::string* pStrFold) {
    if (pStrFold == nullptr)
        return -1;
    std::string exe = platform::ExecutablePath();
    int sep = SjisReverseFind(exe.c_str(), kSeparator);
    if (sep >= 0)
        exe.resize(static_cast<std::size_t>(sep));
    *pStrFold = exe;
    return 0;
}

std::int64_t MakeInt64(std::uint32_t nLow, std::int32_t nHigh) {
    return static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(nHigh)) << 32) | nLow);
}

std::uint32_t SplitInt64(std::int64_t i64Value, std::int32_t* pnHigh) {
    const auto u = static_cast<std::uint64_t>(i64Value);
    if (pnHigh)
        *pnHigh = static_cast<std::int32_t>(static_cast<std::uint32_t>(u >> 32));
    return static_cast<std::uint32_t>(u);
}

BOOL SplitFileAndFold(const char* pStrFullPath, std::string* pStrFile, std::string* pStrFold) {
    if (pStrFullPath == nullptr || pStrFile == nullptr || pStrFold == nullptr) {
        WriteTrace(platform::Format("※引数が無効。SplitFileAndFold()\n"
                                    "pStrFullPath=%0I64X, pStrFile=%0I64X, pStrFold=%0I64X\n",
            PointerValue(pStrFullPath), PointerValue(pStrFile), PointerValue(pStrFold)));
        return FALSE;
    }
    std::string path = pStrFullPath;
    int sep = SjisReverseFind(path.c_str(), kSeparator);
    // A file directly in the root ("/a.bin") has the folder "", as every folder string drops
    // its trailing separator.
    if (sep < 0 || (sep == 0 && path.size() == 1)) {
        *pStrFold = path;
        pStrFile->clear();
        return FALSE;
    }
    *pStrFile = path.substr(static_cast<std::size_t>(sep) + 1);
    path.resize(static_cast<std::size_t>(sep));
    *pStrFold = path;
    return TRUE;
}

void AddComma(std::string* pStr) {
    if (pStr == nullptr)
        return;
    const std::size_t n = pStr->size();
    std::size_t commas = n / 3;
    if (n % 3 == 0 && commas > 0)
        --commas;
    if (n + commas >= kCommaArea)
        return;
    char work[kCommaArea];
    const std::size_t total = n + commas;
    std::size_t out = total;
    std::size_t copied = 0;
    for (std::size_t i = n; i-- > 0;) {
        work[--out] = (*pStr)[i];
        if (++copied % 3 == 0 && commas > 0) {
            work[--out] = ',';
            --commas;
        }
    }
    pStr->assign(work, total);
}

std::uint64_t CheckFoldFreeSize(const char* pFold) {
    if (pFold == nullptr) {
        WriteTrace("※　引数が無効。CheckFoldFreeSize() \n");
        return 0;
    }
    const std::size_t len = std::strlen(pFold);
    if (len == 0 || len > kMaxPath)
        return 0;
    return platform::FreeSpaceOfFold(pFold);
}

BOOL IxExistFile(const char* pPath, BOOL bFold) {
    if (pPath == nullptr) {
        WriteTrace("※引数が無効。IxExistFile()\n");
        return FALSE;
    }
    platform::FileStatus st;
    if (!platform::GetFileStatus(pPath, &st))
        return FALSE;
    return (st.m_kind == platform::FileKind::Folder) == (bFold != FALSE) ? TRUE : FALSE;
}

int IsFileReadOnly(const char* pPath) {
    if (pPath == nullptr) {
        WriteTrace("※引数が無効です。IsFileReadOnly()\n");
        return -1;
    }
    platform::FileStatus st;
    if (!platform::GetFileStatus(pPath, &st))
        return -1;
    return st.m_bReadOnly ? 1 : 0;
}
