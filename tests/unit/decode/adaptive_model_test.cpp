#include "decode/adaptive_model.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

// Checks every invariant the header of the model promises; returns what is broken.
std::string BrokenInvariant(const AdaptiveModel& model) {
    if (model.Weight[kNodeCount] != 0xFFFF) return "sentinel overwritten";
    if (model.Parent[kRootNode] != 0) return "root has a parent";
    if (model.Child[0] < kLeafBase) return "node 0 is internal";
    std::vector<int> leaves_of_symbol(kSymbolCount, 0);
    for (int node = 0; node < kNodeCount; ++node) {
        if (node > 0 && model.Weight[node] < model.Weight[node - 1])
            return "weights decrease at node " + std::to_string(node);
        const int child = model.Child[node];
        if (child >= kLeafBase) {
            const int symbol = child - kLeafBase;
            if (symbol >= kSymbolCount) return "bad symbol at node " + std::to_string(node);
            ++leaves_of_symbol[static_cast<size_t>(symbol)];
            if (model.Parent[child] != node)
                return "symbol map wrong at node " + std::to_string(node);
        } else {
            if (child >= node) return "child above its parent at node " + std::to_string(node);
            if (model.Parent[child] != node || model.Parent[child + 1] != node)
                return "parent link wrong at node " + std::to_string(node);
            if (model.Weight[node] != model.Weight[child] + model.Weight[child + 1])
                return "weight is not the sum of the children at node " + std::to_string(node);
        }
    }
    for (int count : leaves_of_symbol)
        if (count != 1) return "a symbol without exactly one leaf";
    return "";
}

int CodeLength(const AdaptiveModel& model, int symbol) {
    int length = 0;
    SymbolCode(model, symbol, &length);
    return length;
}

// The symbol that the code of `symbol` leads to when walked from the root, as the decoder
// walks it.
int WalkCode(const AdaptiveModel& model, uint32_t code, int length) {
    unsigned node = model.Child[kRootNode];
    for (int bit = length - 1; bit >= 0; --bit) {
        if (node >= kLeafBase) return -1; // a leaf reached before the code ended
        node = model.Child[node + ((code >> bit) & 1)];
    }
    return node >= kLeafBase ? static_cast<int>(node - kLeafBase) : -1;
}

TEST(AdaptiveModelTest, FreshTreeGivesNineBitCodesToTheFirst56Symbols) {
    AdaptiveModel model;
    ResetModel(model);
    EXPECT_EQ(BrokenInvariant(model), "");
    for (int symbol = 0; symbol < kSymbolCount; ++symbol)
        EXPECT_EQ(CodeLength(model, symbol), symbol < 56 ? 9 : 8) << "symbol " << symbol;
    EXPECT_EQ(model.Weight[kRootNode], kSymbolCount);
    // 'a' is 00101001 in the fresh tree, the first byte of a stream that starts with it.
    int length = 0;
    EXPECT_EQ(SymbolCode(model, 'a', &length), 0x29u);
    EXPECT_EQ(length, 8);
}

TEST(AdaptiveModelTest, UpdatesKeepTheTreeValidAndCodesDecodable) {
    AdaptiveModel model;
    ResetModel(model);
    std::mt19937 random(7);
    // Skewed symbols, so that weights spread and nodes trade places often.
    std::geometric_distribution<int> skewed(0.05);
    for (int i = 0; i < 5000; ++i) {
        const int symbol = skewed(random) % kSymbolCount;
        UpdateModel(model, symbol);
        if (i % 97 == 0) {
            ASSERT_EQ(BrokenInvariant(model), "") << "after update " << i;
            for (int s = 0; s < kSymbolCount; ++s) {
                int length = 0;
                const uint32_t code = SymbolCode(model, s, &length);
                ASSERT_EQ(WalkCode(model, code, length), s);
            }
        }
    }
    EXPECT_EQ(model.Weight[kRootNode], kSymbolCount + 5000);
    EXPECT_LT(CodeLength(model, 0), CodeLength(model, 200));
}

TEST(AdaptiveModelTest, FirstRebuildComesWithThe32485thSymbol) {
    AdaptiveModel model;
    ResetModel(model);
    for (int i = 0; i < 32484; ++i)
        UpdateModel(model, i % 3 == 0 ? 'e' : i % 300 % kSymbolCount);
    ASSERT_EQ(model.Weight[kRootNode], kRebuildLimit);
    const uint16_t weight_of_e = model.Weight[model.Parent[kLeafBase + 'e']];

    UpdateModel(model, 'e'); // counted in the rebuilt tree
    EXPECT_EQ(BrokenInvariant(model), "");
    EXPECT_LT(model.Weight[kRootNode], kRebuildLimit / 2 + kSymbolCount);
    EXPECT_EQ(model.Weight[model.Parent[kLeafBase + 'e']], (weight_of_e + 1) / 2 + 1);
}

TEST(AdaptiveModelTest, RebuildHalvesRoundingUpAndKeepsTheLeafOrder) {
    AdaptiveModel model;
    ResetModel(model);
    for (int i = 0; i < 3000; ++i)
        UpdateModel(model, (i * i) % 40);
    std::vector<std::pair<uint16_t, uint16_t>> leaves; // (symbol link, weight) in table order
    for (int node = 0; node < kNodeCount; ++node)
        if (model.Child[node] >= kLeafBase)
            leaves.emplace_back(model.Child[node], model.Weight[node]);

    RebuildModel(model);
    EXPECT_EQ(BrokenInvariant(model), "");
    // The leaves keep their relative order; internal nodes come in between them by weight.
    size_t next = 0;
    for (int node = 0; node < kNodeCount; ++node) {
        if (model.Child[node] < kLeafBase) continue;
        ASSERT_LT(next, leaves.size());
        EXPECT_EQ(model.Child[node], leaves[next].first);
        EXPECT_EQ(model.Weight[node], (leaves[next].second + 1) / 2);
        ++next;
    }
}

TEST(AdaptiveModelTest, ManyRebuildsKeepCodesShortAndTheTreeValid) {
    AdaptiveModel model;
    ResetModel(model);
    std::mt19937 random(11);
    std::geometric_distribution<int> skewed(0.3);
    int longest = 0;
    for (int i = 0; i < 200000; ++i) {
        const int symbol = skewed(random) % kSymbolCount;
        UpdateModel(model, symbol);
        ASSERT_LE(model.Weight[kRootNode], kRebuildLimit);
        if (i % 10007 == 0) {
            ASSERT_EQ(BrokenInvariant(model), "") << "after update " << i;
            for (int s = 0; s < kSymbolCount; ++s)
                longest = std::max(longest, CodeLength(model, s));
        }
    }
    EXPECT_LT(longest, 32);
}

} // namespace
