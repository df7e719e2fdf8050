#include "util/Trace.h"

#include "platform/TextFile.h"
#include "platform/Ui.h"

#include <mutex>

std::string g_strTracePath;

namespace {
std::mutex g_traceMutex;
}

void WriteTrace(const std::string& strMessage) {
    bool opened;
    {
        std::lock_guard lock(g_traceMutex);
        // One file object for every message: its conversion buffers are not made anew each time.
        static platform::CTextFile file;
        opened = file.Open(g_strTracePath, platform::CTextFile::modeAppend);
        if (opened) {
            file.WriteString(strMessage); // a short write is not detected
            file.Close();
        }
    }
    // The box is shown outside the lock: the other thread may trace while it is open.
    if (!opened)
        platform::ShowBox("トレース用ファイルが開けません");
}

void ResetTraceFile() {
    std::lock_guard lock(g_traceMutex);
    platform::CTextFile file;
    file.Open(g_strTracePath, platform::CTextFile::modeWrite);
}
