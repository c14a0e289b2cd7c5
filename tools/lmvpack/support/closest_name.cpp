#include "tools/lmvpack/support/closest_name.h"

#include <algorithm>
#include <cctype>

namespace {

char Folded(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

// Edit distance with swaps of neighbouring letters counted as one edit ("biuld"), the most
// common slip of a typist.
size_t Distance(std::string_view a, std::string_view b) {
    const size_t width = b.size() + 1;
    std::vector<size_t> rows(3 * width);
    size_t* before = rows.data();
    size_t* previous = before + width;
    size_t* current = previous + width;
    for (size_t j = 0; j <= b.size(); ++j)
        previous[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const bool same = Folded(a[i - 1]) == Folded(b[j - 1]);
            current[j] =
                std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (same ? 0 : 1)});
            if (i > 1 && j > 1 && Folded(a[i - 1]) == Folded(b[j - 2]) &&
                Folded(a[i - 2]) == Folded(b[j - 1]))
                current[j] = std::min(current[j], before[j - 2] + 1);
        }
        std::swap(before, previous);
        std::swap(previous, current);
    }
    return previous[b.size()];
}

} // namespace

std::string ClosestName(std::string_view typed, const std::vector<std::string>& candidates) {
    const size_t allowed = std::clamp<size_t>(typed.size() / 3, 1, 3);
    std::string best;
    size_t best_distance = allowed + 1;
    for (const auto& candidate : candidates) {
        const size_t distance = Distance(typed, candidate);
        if (distance < best_distance) {
            best_distance = distance;
            best = candidate;
        }
    }
    return best;
}

std::string DidYouMean(std::string_view typed, const std::vector<std::string>& candidates) {
    const std::string closest = ClosestName(typed, candidates);
    return closest.empty() ? std::string() : "; did you mean \"" + closest + "\"?";
}
