#pragma once
// Shift_JIS-aware path splitting, the executable's folder, 64-bit values in message halves,
// thousands separators, free space, and existence and read-only tests.
#include "platform/WinTypes.h"

#include <cstdint>
#include <string>

// The executable's folder, never ending in "/"; set once at start-up.
extern std::string g_strModuleFold;

BOOL IsSjisLeadByte(BYTE c);
BOOL IsSjisTrailByte(BYTE c);
// Index of the last occurrence of `ch` in the zero-terminated string, never matching the second
// byte of a double-byte character; -1 when there is none. Searching for '\0' gives the length.
int SjisReverseFind(const char* pStr, char ch);

int GetModuleFold(std::string* pStrFold);

std::int64_t MakeInt64(std::uint32_t nLow, std::int32_t nHigh);
std::uint32_t SplitInt64(std::int64_t i64Value, std::int32_t* pnHigh);

BOOL SplitFileAndFold(const char* pStrFullPath, std::string* pStrFile, std::string* pStrFold);

void AddComma(std::string* pStr);

std::uint64_t CheckFoldFreeSize(const char* pFold);
BOOL IxExistFile(const char* pPath, BOOL bFold);
int IsFileReadOnly(const char* pPath);
