#pragma once
#include "platform/TextFile.h"

#include <string>

// Puts "ファイルをオープンできません\n" and the cause's text into *pStrMessage and returns 0; for
// the cause "none" returns 1 and leaves *pStrMessage as it was.
int GetFileErrorText(std::string* pStrMessage, const platform::FileError* pError);
// The cause's own text from the table (cause 0 gives ""; a cause outside it, "Unknown Error").
const char* FileErrorCauseText(int nCause);
