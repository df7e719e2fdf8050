#include "util/ShellWords.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Words = std::vector<std::string>;

struct SplitCase {
    const char* m_pCommand;
    std::optional<Words> m_expected;
};

const SplitCase kCases[] = {
    SplitCase{"ssh", Words{"ssh"}}, SplitCase{"", Words{}}, SplitCase{" \t\n ", Words{}},
    SplitCase{"  ssh  -p 2222\t-i key ", Words{"ssh", "-p", "2222", "-i", "key"}},
    SplitCase{"sudo octetwatch-cli", Words{"sudo", "octetwatch-cli"}},
    // Quotes keep blanks and each other; adjacent pieces make one word.
    SplitCase{"ssh -o 'ProxyCommand=nc %h 22'", Words{"ssh", "-o", "ProxyCommand=nc %h 22"}},
    SplitCase{"a\"b c\"'d e'f", Words{"ab cd ef"}},
    SplitCase{"'' \"\"", Words{"", ""}},
    SplitCase{"'a\\b'", Words{"a\\b"}},
    // In double quotes a backslash escapes only $ ` " \ and a newline.
    SplitCase{"\"\\$x \\` \\\" \\\\ \\n\"", Words{"$x ` \" \\ \\n"}},
    SplitCase{"\"a\\\nb\"", Words{"ab"}},
    SplitCase{"a\\ b c\\'d", Words{"a b", "c'd"}},
    SplitCase{"a\\\nb", Words{"ab"}},
    // Nothing is expanded.
    SplitCase{"$HOME ~ *.img $(id) `id`", Words{"$HOME", "~", "*.img", "$(id)", "`id`"}},
    // Left open: refused, not guessed.
    SplitCase{"ssh 'open", std::nullopt}, SplitCase{"ssh \"open", std::nullopt},
    SplitCase{"ssh \"a\\\"", std::nullopt}, SplitCase{"ssh \\", std::nullopt}};

TEST(ShellWords, SplitsAsShDoes) {
    for (const SplitCase& c : kCases)
        EXPECT_EQ(SplitShellWords(c.m_pCommand), c.m_expected) << c.m_pCommand;
}

} // namespace
