#include "decode/adaptive_model.h"

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
        LinkChild(model, model.Child[i], static_cast<unsigned>(i));
    model.Parent[kRootNode] = 0;
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
