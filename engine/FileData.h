#pragma once
// One run's names and sizes, as the main window hands them to the engine.
#include "platform/WinTypes.h"

#include <cstdint>
#include <string>

// Size relation of the two files.
constexpr int SIZE_EQUAL = 0;
constexpr int SIZE_A_LONGER = 1;
constexpr int SIZE_B_LONGER = 2;
constexpr int SIZE_NOT_SET = 3;

struct FILEDATA {
    std::string strFileA;
    std::string strFileB;
    std::string strLogFile;
    BOOL bOpenA = FALSE;
    BOOL bOpenB = FALSE;
    BOOL bOpenLog = FALSE;
    int nSizeMode = SIZE_NOT_SET;
    std::int64_t i64SizeA = 0;
    std::int64_t i64SizeB = 0;
    std::int64_t i64SearchSize = 0;
    std::int64_t i64OffsetB = 0;
};

// The size relation and the compared length, from the two sizes already in the record.
inline void SetSizeRelation(FILEDATA* pData) {
    const std::int64_t a = pData->i64SizeA, b = pData->i64SizeB;
    pData->nSizeMode = a == b ? SIZE_EQUAL : a > b ? SIZE_A_LONGER : SIZE_B_LONGER;
    pData->i64SearchSize = a < b ? a : b;
}
