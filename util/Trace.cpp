#include "util/Trace.h"

#include "platform/TextFile.h"
#include "platform/Ui.h"

#include <mutex>

std::string g_strTracePath;

namespace {
std::mutex g_traceMutex;
}

void WriteTrace(const std::string& strMessage) {
    // Each thread its own buffers: the form is made outside the lock.
    thread_local std::string work, out;
    WriteTraceBytes(platform::FileForm(strMessage, work, out));
}

void WriteTraceBytes(std::string_view bytes) {
    bool opened;
    {
        std::lock_guard lock(g_traceMutex);
        static platform::CTextFile file;
        opened = file.Open(g_strTracePath, platform::CTextFile::modeAppend);
        if (opened) {
            file.WriteBytes(bytes); // a short write is not detected
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
