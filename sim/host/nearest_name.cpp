// The nearest known name by edit distance.
#include "sim/host/nearest_name.h"

#include <algorithm>
#include <cctype>

namespace sim {
namespace detail {

size_t edit_distance(const std::string &a, const std::string &b)
{
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string nearest_name(const std::string &name, const std::vector<std::string> &known)
{
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) {
        return static_cast<char>(std::toupper(c));
    });
    const auto common_start = [&upper](const std::string &candidate) {
        return std::mismatch(upper.begin(), upper.end(), candidate.begin(), candidate.end()).first - upper.begin();
    };
    std::string nearest = known.front();
    for (const std::string &candidate : known) {
        const size_t edits = edit_distance(upper, candidate), best = edit_distance(upper, nearest);
        if (edits < best || (edits == best && common_start(candidate) > common_start(nearest)))
            nearest = candidate;
    }
    return nearest;
}

} // namespace detail
} // namespace sim
