#include "decode/adaptive_model.h"

namespace {
// Makes `node` the parent of whatever `child` names: a leaf's symbol entry, or both
// children of an internal node.
inline void LinkChild(AdaptiveModel& model, uint16_t child, uint16_t node) {
    model.Parent[child] = node;
    if (child < kLeafBase) model.Parent[child + 1] = node;
}
} // namespace

void ResetModel(AdaptiveModel& model) {
    for (int s = 0; s < kSymbolCount; ++s) {
        model.Weight[s] = 1;
        model.Child[s] = static_cast<uint16_t>(kLeafBase + s);
        model.Parent[kLeafBase + s] = static_cast<uint16_t>(s);
    }
    for (int i = 0, j = kSymbolCount; j < kNodeCount; i += 2, ++j) {
        model.Weight[j] = static_cast<uint16_t>(model.Weight[i] + model.Weight[i + 1]);
        model.Child[j] = static_cast<uint16_t>(i);
        model.Parent[i] = model.Parent[i + 1] = static_cast<uint16_t>(j);
    }
    model.Weight[kNodeCount] = 0xFFFF;
    model.Parent[kRootNode] = 0;
}

void RebuildModel(AdaptiveModel& model) {
    // Leaves first, in their present order, with halved weights.
    int next = 0;
    for (int i = 0; i < kNodeCount; ++i) {
        if (model.Child[i] >= kLeafBase) {
            model.Weight[next] = static_cast<uint16_t>((model.Weight[i] + 1) / 2);
            model.Child[next] = model.Child[i];
            ++next;
        }
    }
    // Then each pair of the lowest unpaired nodes gets a parent, inserted above every node
    // that weighs as much or less, which keeps the table sorted.
    for (int i = 0, j = kSymbolCount; j < kNodeCount; i += 2, ++j) {
        const uint16_t f = static_cast<uint16_t>(model.Weight[i] + model.Weight[i + 1]);
        int k = j - 1;
        while (f < model.Weight[k])
            --k;
        ++k;
        for (int m = j; m > k; --m) {
            model.Weight[m] = model.Weight[m - 1];
            model.Child[m] = model.Child[m - 1];
        }
        model.Weight[k] = f;
        model.Child[k] = static_cast<uint16_t>(i);
    }
    for (int i = 0; i < kNodeCount; ++i)
        LinkChild(model, model.Child[i], static_cast<uint16_t>(i));
    model.Parent[kRootNode] = 0;
}

void UpdateModel(AdaptiveModel& model, int symbol) {
    if (model.Weight[kRootNode] == kRebuildLimit) RebuildModel(model);
    uint16_t* const weight = model.Weight;
    unsigned n = model.Parent[kLeafBase + symbol];
    do {
        const unsigned k = ++weight[n];
        if (k > weight[n + 1]) {
            // n now outweighs its upper neighbours of weight k - 1: trade places with the
            // highest of them, l, subtrees included. The sentinel ends the scan.
            unsigned l = n + 1;
            while (k > weight[l + 1])
                ++l;
            weight[n] = weight[l];
            weight[l] = static_cast<uint16_t>(k);
            const uint16_t a = model.Child[n];
            const uint16_t b = model.Child[l];
            LinkChild(model, a, static_cast<uint16_t>(l));
            model.Child[l] = a;
            LinkChild(model, b, static_cast<uint16_t>(n));
            model.Child[n] = b;
            n = l;
        }
        n = model.Parent[n];
    } while (n != 0);
}

uint32_t SymbolCode(const AdaptiveModel& model, int symbol, int* length) {
    uint32_t code = 0;
    int bits = 0;
    unsigned node = model.Parent[kLeafBase + symbol];
    while (node != kRootNode) {
        const unsigned parent = model.Parent[node];
        code |= static_cast<uint32_t>(node - model.Child[parent]) << bits;
        ++bits;
        node = parent;
    }
    *length = bits;
    return code;
}
