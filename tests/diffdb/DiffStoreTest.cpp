// The difference store: what it keeps, its limit, and what it says when memory runs out.
#include "support/ProgramFolder.h"
#include "support/TestSupport.h"

#include "diffdb/CMyDiffDataBase.h"
#include "platform/Encoding.h"
#include "support/ScriptedUi.h"

#include <gtest/gtest.h>

namespace {

using testsupport::OnDisk;

std::size_t CountOf(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// The repair walks the store in order: an address out of order is the caller's fault, caught
// where the tests run.
TEST(DiffStoreDeathTest, AnAddressOutOfOrderIsCaught) {
#ifdef NDEBUG
    GTEST_SKIP() << "assertions are compiled out";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            CMyDiffDataBase store;
            store.AddDiffData(16, 1, 2);
            store.AddDiffData(16, 1, 2);
        },
        "m_ai64Adrs\\[n - 1\\] < i64Adrs");
#endif
}

TEST(DiffStore, KeepsDifferencesInOrderAndReadsThemBack) {
    testsupport::ProgramFolder prog;
    CMyDiffDataBase store;
    const std::int64_t big = (std::int64_t{1} << 40) + 7;
    ASSERT_TRUE(store.AddDiffData(16, 0x41, 0x42));
    ASSERT_TRUE(store.AddDiffData(big, 0x00, 0xFF));
    EXPECT_EQ(store.GetDiffNum(), 2);

    std::int64_t adrs = 0;
    BYTE a = 0, b = 0;
    ASSERT_TRUE(store.GetDiffData(1, &adrs, &a, &b)); // the last index
    EXPECT_EQ(adrs, big);
    EXPECT_EQ(a, 0x00);
    EXPECT_EQ(b, 0xFF);
    ASSERT_TRUE(store.GetDiffData(0, &adrs, &a, &b));
    EXPECT_EQ(adrs, 16);
    EXPECT_EQ(prog.Trace(), "");
}

TEST(DiffStore, InvalidReadsFailWithTheTraceLine) {
    testsupport::ProgramFolder prog;
    CMyDiffDataBase store;
    std::int64_t adrs = 0;
    BYTE a = 0, b = 0;
    EXPECT_FALSE(store.GetDiffData(0, &adrs, &a, &b)); // empty store
    store.AddDiffData(5, 1, 2);
    EXPECT_FALSE(store.GetDiffData(1, &adrs, &a, &b)); // index equal to the count
    EXPECT_FALSE(store.GetDiffData(0, nullptr, &a, &b));
    EXPECT_FALSE(store.GetDiffData(0, &adrs, nullptr, &b));
    EXPECT_FALSE(store.GetDiffData(0, &adrs, &a, nullptr));

    const std::string trace = prog.Trace();
    const std::string head = OnDisk("※引数が無効です。CMyDiffDataBase::GetDiffData()\n\tIndex[");
    std::size_t n = 0;
    for (std::size_t pos = 0; (pos = trace.find(head, pos)) != std::string::npos; pos += head.size())
        ++n;
    EXPECT_EQ(n, 5u);
    EXPECT_NE(trace.find(head + "0000000000] / DiffNum[0000000000] : pi64ADRS["), std::string::npos);
    EXPECT_NE(trace.find(head + "0000000001] / DiffNum[0000000001] : pi64ADRS["), std::string::npos);
    EXPECT_NE(trace.find("pbDataA[00000000]"), std::string::npos);
}

TEST(DiffStore, ResetEmptiesAndReleasesTheArrays) {
    testsupport::ProgramFolder prog;
    CMyDiffDataBase store;
    for (int i = 0; i < 10000; ++i)
        store.AddDiffData(i, 1, 2);
    store.ResetDiffData();
    EXPECT_EQ(store.GetDiffNum(), 0);
    EXPECT_FALSE(store.m_bHasData);
    EXPECT_EQ(store.m_ai64Adrs.capacity(), 0u);
    EXPECT_EQ(store.m_abDataA.capacity(), 0u);
    EXPECT_EQ(store.m_abDataB.capacity(), 0u);
}

TEST(DiffStore, HoldsAMillionAndTracesTheFirstRefusalsThenCountsTheRest) {
    testsupport::ProgramFolder prog;
    CMyDiffDataBase store;
    for (std::int64_t i = 0; i < CMyDiffDataBase::kMaxItems; ++i)
        ASSERT_TRUE(store.AddDiffData(i * 2, 0x0A, 0x0B));
    // Full, without room to spare beyond the limit.
    EXPECT_EQ(store.m_ai64Adrs.capacity(), 1000000u);

    EXPECT_FALSE(store.AddDiffData(123, 0x0A, 0x0B));
    EXPECT_FALSE(store.AddDiffData(124, 0xFF, 0x00));

    EXPECT_EQ(store.GetDiffNum(), CMyDiffDataBase::kMaxItems);
    EXPECT_EQ(prog.Trace(),
              OnDisk("※アイテム数が多すぎて追加できません。CMyDiffDataBase::AddDiffData()\n"
                     "\tItemNum[000000001000000], ADRS[000000000000123], bDataA[0A], bDataB[0B]\n"
                     "※アイテム数が多すぎて追加できません。CMyDiffDataBase::AddDiffData()\n"
                     "\tItemNum[000000001000000], ADRS[000000000000124], bDataA[FF], bDataB[00]\n"));
    std::int64_t adrs = 0;
    BYTE a = 0, b = 0;
    ASSERT_TRUE(store.GetDiffData(999999, &adrs, &a, &b));
    EXPECT_EQ(adrs, 1999998);

    // Up to the bound every refusal has its line; past it they are only counted, and the end of
    // the run says how many.
    for (std::int64_t i = 2; i < CMyDiffDataBase::kRefusalLines + 7; ++i)
        EXPECT_FALSE(store.AddDiffData(200 + i, 0x0A, 0x0B));
    const std::string lines = prog.Trace();
    EXPECT_EQ(CountOf(lines, OnDisk("※アイテム数が多すぎて追加できません。")),
              static_cast<std::size_t>(CMyDiffDataBase::kRefusalLines));
    EXPECT_NE(lines.find(OnDisk("ADRS[000000000010199], bDataA[0A], bDataB[0B]\n")),
              std::string::npos); // the last one traced
    const std::string closing = OnDisk("○ほか7件の不一致はアイテム数の上限を超えたため追加"
                                       "できませんでした。CMyDiffDataBase::AddDiffData()\n");
    store.TraceRefusedRest();
    store.TraceRefusedRest(); // said once
    EXPECT_EQ(prog.Trace(), lines + closing);
}

TEST(DiffStore, NoClosingCountWhenEveryRefusalWasTraced) {
    testsupport::ProgramFolder prog;
    CMyDiffDataBase store;
    store.m_i64DiffNum = CMyDiffDataBase::kMaxItems; // full, as far as refusing goes
    for (std::int64_t i = 0; i < CMyDiffDataBase::kRefusalLines; ++i)
        EXPECT_FALSE(store.AddDiffData(i, 1, 2));
    const std::string lines = prog.Trace();
    store.TraceRefusedRest();
    EXPECT_EQ(prog.Trace(), lines);
    EXPECT_EQ(CountOf(lines, "\r\n\tItemNum["), static_cast<std::size_t>(CMyDiffDataBase::kRefusalLines));
}

// Lets the n-th checked allocation fail (counted from 1), and no other.
class NthAllocationFails : public platform::IFaultInjector {
public:
    explicit NthAllocationFails(int n) : m_nFail(n) {}
    void OnOpen(int, const std::string&) override {}
    int OnClose(int) override { return 0; }
    int OnRead(int, std::int64_t, std::size_t&) override { return 0; }
    int OnWrite(int, std::size_t&) override { return 0; }
    bool OnFreeSpace(const std::string&, std::uint64_t&) override { return false; }
    bool OnAllocate(std::size_t) override { return ++m_nSeen != m_nFail; }

private:
    int m_nFail;
    int m_nSeen = 0;
};

TEST(DiffStore, OutOfMemoryNamesTheStepThatFailedAndKeepsTheCount) {
    const std::pair<int, const char*> cases[] = {
        {1, "※アドレスデータの追加に失敗"},
        {2, "※データAの追加に失敗"},
        {3, "※データBの追加に失敗"},
    };
    for (const auto& [step, what] : cases) {
        SCOPED_TRACE(what);
        testsupport::ProgramFolder prog;
        support::ScriptedUi ui;
        NthAllocationFails fault(step); // the three arrays grow in order on the first append
        platform::SetFaultInjector(&fault);
        CMyDiffDataBase store;

        EXPECT_FALSE(store.AddDiffData(0x1234, 0xAB, 0xCD));

        const std::string text = std::string(what) +
                                 ": CMyDiffDataBase::AddDiffData()\n"
                                 "\tADRS[0000001234], DataA[AB], DataB[CD]\n";
        EXPECT_EQ(ui.BoxTexts(), std::vector<std::string>{text}) << step;
        EXPECT_EQ(prog.Trace(), OnDisk(text));
        EXPECT_EQ(store.GetDiffNum(), 0);
        EXPECT_FALSE(store.m_bHasData);

        // The next append takes the partly filled place.
        platform::SetFaultInjector(nullptr);
        ASSERT_TRUE(store.AddDiffData(0x99, 1, 2));
        std::int64_t adrs = 0;
        BYTE a = 0, b = 0;
        ASSERT_TRUE(store.GetDiffData(0, &adrs, &a, &b));
        EXPECT_EQ(adrs, 0x99);
        EXPECT_EQ(b, 2);
        EXPECT_EQ(store.GetDiffNum(), 1);
    }
}

} // namespace
