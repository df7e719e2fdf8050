#include "cli/MapPicture.h"

#include "platform/Format.h"

#include <algorithm>
#include <vector>

namespace {

constexpr const char* kBars[] = {"▁", "▂", "▃", "▄", "▅", "▆", "▇", "█"};
constexpr int kMinBars = 8;

std::string Address(std::int64_t i64Adrs) {
    char text[24];
    return {text, platform::PutHex(text, static_cast<std::uint64_t>(i64Adrs), 10)};
}

} // namespace

std::string MapPicture(const CMyDiffMap& map, int nColumns) {
    const int buckets = map.Buckets();
    if (map.Length() <= 0 || buckets <= 0)
        return {};
    const std::string first = Address(0);
    const std::string last = Address(map.Length() - 1);
    const int bars = std::max(kMinBars, nColumns - static_cast<int>(first.size() + last.size()) - 2);
    // Each column takes its share of the buckets, and at least one: fewer buckets than columns
    // are stretched.
    std::vector<std::int64_t> counts(static_cast<std::size_t>(bars), 0);
    std::int64_t most = 0;
    for (int col = 0; col < bars; ++col) {
        const auto from = static_cast<int>(std::int64_t{col} * buckets / bars);
        const int to = std::max(from + 1, static_cast<int>(std::int64_t{col + 1} * buckets / bars));
        std::int64_t& count = counts[static_cast<std::size_t>(col)];
        for (int i = from; i < to; ++i)
            count += map.Count(i);
        most = std::max(most, count);
    }
    std::string line = first + " ";
    for (const std::int64_t count : counts) {
        const int level =
            count == 0 ? 0
                       : std::min(7, 1 + static_cast<int>(6.0 * static_cast<double>(count) /
                                                          static_cast<double>(most)));
        line += kBars[level];
    }
    return line + " " + last;
}

std::string SummaryEnding(const CMyDiffMap& map, const std::string& strLog, int nColumns) {
    std::string ending = "LOG    : " + strLog + "\n";
    const std::string picture = nColumns > 0 ? MapPicture(map, nColumns) : std::string();
    if (!picture.empty())
        ending += picture + "\n";
    return ending;
}
