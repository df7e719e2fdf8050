#pragma once
// The handful of window-system words the program's logic is written in.
#include <cstdint>

using BOOL = int;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif
using BYTE = std::uint8_t;
using UINT = std::uint32_t;
using WPARAM = std::uint32_t;  // a 64-bit value travels as low half here ...
using LPARAM = std::int32_t;   // ... and high half here
using LRESULT = std::int64_t;

constexpr UINT WM_USER = 0x400;

// Answers of boxes and dialogs.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
