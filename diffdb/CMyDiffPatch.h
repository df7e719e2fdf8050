#pragma once
// Patches one file in place from a store read back from its database file: at every stored
// address the byte of one side (FILE A's or FILE B's) is replaced by the other's, through the
// in-place writer, which also checks the file before the first write.
#include "diffdb/CMyInPlaceWriter.h"

#include <string>

class CMyDiffPatch : public CMyInPlaceWriter {
public:
    CMyDiffPatch() = default;
    ~CMyDiffPatch();

    // Opens the file to patch (for reading only when it is only to be checked) and measures it.
    BOOL OpenPatchFile(const std::string& strFileName, BOOL bWrite);
    void ClosePatchFile();
};
