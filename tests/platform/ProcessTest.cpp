#include "platform/Process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <string>

namespace {

using platform::ChildProcess;

TEST(ProcessTest, TalksThroughBothPipesAndEndsWhenItsInputCloses) {
    ChildProcess cat;
    ASSERT_TRUE(cat.Start({"cat"}));
    const std::string text = "hello\nthere";
    ASSERT_EQ(cat.Write(text.data(), text.size()), static_cast<std::int64_t>(text.size()));
    cat.CloseToChild();
    std::string got;
    char buf[4];
    for (std::int64_t n; (n = cat.Read(buf, sizeof buf)) > 0;)
        got.append(buf, static_cast<std::size_t>(n));
    EXPECT_EQ(got, text);
    EXPECT_EQ(cat.Wait(), 0);
}

TEST(ProcessTest, ReportsExitStatusSignalAndAProgramThatIsNotThere) {
    ChildProcess exits;
    ASSERT_TRUE(exits.Start({"sh", "-c", "exit 3"}));
    EXPECT_EQ(exits.Wait(), 3);

    ChildProcess killed;
    ASSERT_TRUE(killed.Start({"sleep", "1000"}));
    killed.Kill();
    EXPECT_EQ(killed.Wait(), 128 + SIGKILL);

    ChildProcess missing;
    EXPECT_FALSE(missing.Start({"/nonexistent/program"}));
    EXPECT_EQ(missing.LastError(), ENOENT);
    EXPECT_EQ(missing.Wait(), -1);
}

TEST(ProcessTest, WritingToAChildThatHasGoneFailsWithoutKillingUs) {
    ChildProcess gone;
    ASSERT_TRUE(gone.Start({"true"}));
    // Its end is closed once it has exited: read to the end first.
    char c;
    EXPECT_EQ(gone.Read(&c, 1), 0);
    const std::string big(1 << 20, 'x');
    EXPECT_EQ(gone.Write(big.data(), big.size()), -1);
    EXPECT_EQ(gone.LastError(), EPIPE);
    EXPECT_EQ(gone.Wait(), 0);
}

} // namespace
