// The adaptive Huffman model shared by the decoder (decode/lzh_decoder.cpp) and the
// authoring tool's encoder. Both sides start every member from the same fresh tree and
// update it identically after every symbol, so they always agree on the code without ever
// transmitting it.
//
// The alphabet has 284 symbols: 0..255 are literal bytes, 256..283 are match lengths 3..30.
// The code tree has 2 * 284 - 1 = 567 nodes, kept in three flat tables:
//
//   Weight[node]   how often the symbols below the node have been seen (plus the initial 1
//                  of each leaf). Weight[567] is a sentinel 0xFFFF that no node reaches, so
//                  an upward scan needs no bounds test.
//   Child[node]    for an internal node, the index of its first child; the second child is
//                  always the next index. For a leaf, 567 + symbol: a value of 567 or more
//                  marks a leaf, which is the one test the tree walk needs.
//   Parent[i]      for i < 567, the parent of node i (the root's entry is 0). For i >= 567,
//                  the leaf of symbol i - 567. Putting the symbol->leaf map behind the node
//                  links lets "Parent[Child[x]] = y" relink a leaf and an internal node alike.
//
// Invariants (the sibling property that makes the tree a Huffman tree for its weights):
//   1. Weights do not decrease with the index: Weight[0] is the smallest, the root (566)
//      the largest.
//   2. The two children of a node sit at adjacent indices, the first at the lower one.
//   3. An internal node weighs the sum of its children.
//   4. Node 0 is never internal, so a parent entry of 0 can only mean "the root's parent".
//
// UpdateModel raises the weights on the path from a symbol's leaf to the root. Raising node
// n by one can break invariant 1 only against the nodes just above it that had n's old
// weight k - 1. Before raising, n trades places with the highest-numbered of those nodes, l
// (subtrees travel with their roots). Both had weight k - 1, so the order stays sorted
// after n's slot takes k; and l is never an ancestor of n (an ancestor weighs at least
// k - 1 plus a sibling of weight >= 1), so the swap cannot tear the tree. Invariant 3 then
// holds again once the parent is raised in turn, which is the next step of the walk.
//
// Weights are 16-bit and grow by one per symbol at the root. When the root reaches 32768,
// RebuildModel halves every leaf weight (rounding up, so no weight becomes 0) and builds the
// internal nodes anew, Huffman-style, from the sorted leaves: pairs of the lowest nodes not
// yet paired are joined and the new parent is inserted above every node of lower or equal
// weight. That insertion keeps the table sorted (invariant 1), children are taken in pairs
// (invariant 2) and parents are sums (invariant 3); a new node always lands above the pair
// it joins, so node 0 stays a leaf (invariant 4).
// Halving keeps the model adaptive: recent statistics weigh as much as all older ones.
//
// The tables are small (under 4 KiB), so a walk in either direction stays in L1 cache.
#pragma once

#include <cstdint>

constexpr int kSymbolCount = 284;                // 256 literals, then lengths 3..30
constexpr int kNodeCount = 2 * kSymbolCount - 1; // 567
constexpr int kRootNode = kNodeCount - 1;        // 566
constexpr int kLeafBase = kNodeCount;            // Child value of a leaf: 567 + symbol
constexpr uint16_t kRebuildLimit = 0x8000;       // root weight that triggers a rebuild

struct AdaptiveModel {
    uint16_t Weight[kNodeCount + 1];
    uint16_t Child[kNodeCount];
    uint16_t Parent[kNodeCount + kSymbolCount];
};

// The fresh tree of every member: all leaves weigh 1 (symbols 0..55 get 9-bit codes,
// 56..283 8-bit codes).
void ResetModel(AdaptiveModel& model);

// Halves the weights and rebuilds the internal nodes (see above).
void RebuildModel(AdaptiveModel& model);

// Makes `node` the parent of whatever `child` names: a leaf's symbol entry, or both children
// of an internal node.
inline void LinkChild(AdaptiveModel& model, unsigned child, unsigned node) {
    model.Parent[child] = static_cast<uint16_t>(node);
    if (child < kLeafBase) model.Parent[child + 1] = static_cast<uint16_t>(node);
}

// Counts one occurrence of `symbol`, rebuilding first when the root has reached the limit.
// Inline: it runs once per symbol on both sides and is the decoder's hottest loop.
inline void UpdateModel(AdaptiveModel& model, int symbol) {
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
            const unsigned a = model.Child[n];
            const unsigned b = model.Child[l];
            LinkChild(model, a, l);
            model.Child[l] = static_cast<uint16_t>(a);
            LinkChild(model, b, n);
            model.Child[n] = static_cast<uint16_t>(b);
            n = l;
        }
        n = model.Parent[n];
    } while (n != 0);
}

// The code of `symbol` in the current tree, root first, in the low `*length` bits of the
// result (found in the encoder's direction, leaf to root). A tree with the sibling property
// is a Huffman tree, and a Huffman leaf at depth d needs a root weight of at least
// Fibonacci(d + 2); with the root kept at or below 2^15 no code reaches 32 bits.
uint32_t SymbolCode(const AdaptiveModel& model, int symbol, int* length);
