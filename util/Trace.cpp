#include "util/Trace.h"

#include "platform/FileLock.h"
#include "platform/Format.h"
#include "platform/LowFile.h"
#include "platform/Mutex.h"
#include "platform/TextFile.h"
#include "ui/Ui.h"

#include <cerrno>
#include <cstring>

std::string g_strTracePath;

namespace {
platform::CMutex g_traceMutex;
// Held shared for the program's life, so that a start empties the trace only when no running
// program is writing it.
int g_nTraceLock GUARDED_BY(g_traceMutex) = -1;
// One box for a run of failed opens.
bool g_bSaidUnopenable GUARDED_BY(g_traceMutex) = false;

std::string UnopenableText(int nErrno) {
    const std::size_t slash = g_strTracePath.rfind('/');
    const std::string fold =
        slash == std::string::npos ? g_strTracePath : g_strTracePath.substr(0, slash);
    return platform::Format("トレース用ファイルが開けません\n\t[ %s ]\n\t%s", fold.c_str(),
                            std::strerror(nErrno));
}
} // namespace

void WriteTrace(const std::string& strMessage) {
    // Each thread its own buffers: the form is made outside the lock.
    thread_local std::string work, out;
    WriteTraceBytes(platform::FileForm(strMessage, work, out));
}

void TraceAndShow(const std::string& strText, ui::BoxIcon icon) {
    WriteTrace(!strText.empty() && strText.back() == '\n' ? strText : strText + "\n");
    ui::ShowBox(strText, icon);
}

void WriteTraceBytes(std::string_view bytes) {
    std::string say;
    {
        platform::CMutexLock lock(g_traceMutex);
        static platform::CTextFile file;
        platform::FileError error;
        if (file.Open(g_strTracePath, platform::CTextFile::modeAppend, &error,
                      platform::kOpenNoFollow)) {
            file.WriteBytes(bytes); // a short write is not detected
            file.Close();
            g_bSaidUnopenable = false;
        } else if (!g_bSaidUnopenable) {
            g_bSaidUnopenable = true;
            say = UnopenableText(error.m_nOsError);
        }
    }
    // The box is shown outside the lock: the other thread may trace while it is open.
    if (!say.empty())
        ui::ShowBox(say);
}

void ResetTraceFile() {
    bool bShared = false;
    {
        platform::CMutexLock lock(g_traceMutex);
        g_bSaidUnopenable = false;
        if (g_nTraceLock != -1) {
            platform::FileClose(g_nTraceLock);
            g_nTraceLock = -1;
        }
        const int fd =
            platform::FileOpen(g_strTracePath, platform::kOpenWrite | platform::kOpenCreate |
                                                    platform::kOpenNoFollow);
        if (fd == -1)
            return; // the first trace says why
        // Where the system has no locks, every start empties the trace as it always did.
        if (platform::FileLockExclusive(fd, false) == 0 || platform::LastError() != EWOULDBLOCK)
            platform::FileTruncate(fd, 0);
        else
            bShared = true;
        platform::FileLockShared(fd, true);
        g_nTraceLock = fd;
    }
    if (bShared)
        WriteTrace(platform::Format("○トレースファイルは実行中の別のプログラムが使用しているため、"
                                    "空にせずに追記します。\n\tFileName[%s]\n",
                                    g_strTracePath.c_str()));
}
