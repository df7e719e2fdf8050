#pragma once
// octetwatch-cli --patch: applies a difference database to one file in place, verified before the
// first write and read back after the last, or only checks whether it can be applied.
#include "diffdb/CMyInPlaceWriter.h"
#include "engine/RemoteSource.h"

#include <cstdint>
#include <cstdio>
#include <string>

struct PatchOptions {
    std::string m_strDB;
    std::string m_strFile;
    char m_cFrom = 0; // 'a': FILE holds FILE A's bytes and gets FILE B's; 'b': the reverse
    bool m_bCheck = false;
    RemoteAccess m_remote; // how a HOST:PATH FILE is reached
};

// The patch command's part of --help.
extern const char* const kPatchUsage;

// True when the command line asks for the patch command rather than a comparison.
bool IsPatchCommand(int argc, char** argv);
// The whole command: its options, the terminal backend for its question, the patch. Returns the
// exit status.
int RunPatchCommand(int argc, char** argv);
// The command that patches `strFile` from `strDB` --from=`cFrom`, ready for a shell.
std::string PatchCommandLine(const std::string& strDB, char cFrom, const std::string& strFile);
// Why a write through `w` into `strFile` (holding the bytes of side `cFrom` of a store of i64Num
// records) failed, and what the file holds now.
std::string WriteFailureText(const CMyInPlaceWriter& w, std::int64_t i64Num,
                             const std::string& strFile, char cFrom);
// The patch itself, asking through the program's UI. The verdict goes to `out`, everything else
// to `err`. Exit status: 0 patched, already patched or (--check) ready; 1 (--check) already
// patched; 2 refused, declined or failed.
int DoPatchCommand(const PatchOptions& opt, std::FILE* out, std::FILE* err);
