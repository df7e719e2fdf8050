// The ticker's thread raises its flag at its pace, again after the flag is lowered, and ends
// with the ticker without waiting out a period.
#include "platform/Ticker.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

// Whether `flag` is raised within a time far longer than any pace used here.
bool RaisedSoon(const std::atomic<bool>& flag) {
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (!flag.load() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(1ms);
    return flag.load();
}

TEST(Ticker, RaisesTheFlagAtItsPaceAndStopsWithIt) {
    std::atomic<bool> flag{false};
    {
        platform::CTicker ticker(flag, 5ms);
        ASSERT_TRUE(ticker.Running());
        EXPECT_TRUE(RaisedSoon(flag));
        flag = false;
        EXPECT_TRUE(RaisedSoon(flag));
    }
    // A ticker with a pace of an hour raises nothing soon, and its end does not wait for it.
    flag = false;
    {
        platform::CTicker ticker(flag, 1h);
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_FALSE(flag.load());
}

} // namespace
