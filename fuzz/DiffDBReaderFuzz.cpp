// libFuzzer: the difference database reader on arbitrary bytes. What it accepts must be a database
// its writer could have made; what it refuses must leave the store empty.
#include "diffdb/CMyDiffDBReader.h"
#include "diffdb/CMyDiffDataBase.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
    CMyDiffDataBase store;
    CMyDiffDBReader reader;
    if (!reader.ParseDBData(pData, nSize, &store)) {
        if (reader.m_nRefusal == CMyDiffDBReader::kRefusalNone || store.GetDiffNum() != 0 ||
            !store.m_ai64Adrs.empty() || store.m_bHasData)
            std::abort();
        return 0;
    }
    const std::int64_t n = store.GetDiffNum();
    if (n > CMyDiffDataBase::kMaxItems || static_cast<std::int64_t>(nSize) != 8 + 10 * n ||
        static_cast<std::int64_t>(store.m_ai64Adrs.size()) != n ||
        static_cast<std::int64_t>(store.m_abDataA.size()) != n ||
        static_cast<std::int64_t>(store.m_abDataB.size()) != n || (store.m_bHasData != 0) != (n > 0))
        std::abort();
    for (std::size_t k = 0; k < static_cast<std::size_t>(n); ++k) {
        if (store.m_ai64Adrs[k] < 0 || (k > 0 && store.m_ai64Adrs[k] <= store.m_ai64Adrs[k - 1]) ||
            store.m_abDataA[k] == store.m_abDataB[k])
            std::abort();
    }
    return 0;
}
