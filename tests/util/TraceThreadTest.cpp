#include "util/Trace.h"

#include "support/ProgramFolder.h"
#include "platform/Encoding.h"
#include "platform/Format.h"

#include <gtest/gtest.h>

#include <thread>

using namespace testsupport;

namespace {

// Two threads trace at once: every message must stand whole in the file, and each thread's
// messages in the order it wrote them.
TEST(TraceThreads, MessagesNeverInterleave) {
    ProgramFolder prog;
    constexpr int kEach = 400;
    auto message = [](char who, int i) {
        return platform::Format("○スレッド%c[%015I64d]\n\t不一致[%s]\n", who,
                                static_cast<long long>(i), std::string(i % 97, who).c_str());
    };
    auto run = [&](char who) {
        for (int i = 0; i < kEach; ++i)
            WriteTrace(message(who, i));
    };
    std::thread a(run, 'A');
    std::thread b(run, 'B');
    a.join();
    b.join();

    const std::string text = platform::Cp932ToUtf8(prog.Trace());
    auto onDisk = [&](char who, int i) {
        std::string m = message(who, i), out;
        for (char c : m)
            out += c == '\n' ? std::string("\r\n") : std::string(1, c);
        return out;
    };
    std::size_t pos = 0;
    int nextA = 0, nextB = 0;
    while (pos < text.size()) {
        std::string a = nextA < kEach ? onDisk('A', nextA) : std::string();
        std::string b = nextB < kEach ? onDisk('B', nextB) : std::string();
        if (!a.empty() && text.compare(pos, a.size(), a) == 0) {
            pos += a.size();
            ++nextA;
        } else if (!b.empty() && text.compare(pos, b.size(), b) == 0) {
            pos += b.size();
            ++nextB;
        } else {
            FAIL() << "torn or out-of-order message at byte " << pos << ": "
                   << text.substr(pos, 80);
        }
    }
    EXPECT_EQ(nextA, kEach);
    EXPECT_EQ(nextB, kEach);
}

} // namespace
