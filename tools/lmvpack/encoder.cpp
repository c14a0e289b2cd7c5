// The encoder of the installer's member streams: LZ77 over the 4096-byte history with
// matches of 3 to 30 bytes, coded with the installer's own adaptive model (one model, used
// here leaf to root and by the decoder root to leaf), so the two cannot drift apart.
//
// The history starts as the decoder's does: 4066 spaces before the first byte of the member.
// Matches may reach into them (a member that begins with blanks codes them as one match),
// but never further back, into the 30 ring positions whose contents a decoder need not
// define. Matches never run past the end of the input.
//
// Levels:
//   fast     greedy: the longest match found in a short hash chain, else a literal;
//   default  lazy: a match is deferred by one byte when the next position has a longer one,
//            with a longer chain;
//   best     optimal parse: per block, the cheapest path through every literal and match
//            the chains offer, priced in bits by the model as it stands at the block start.
#include "decode/adaptive_model.h"
#include "decode/lzh_decoder.h"
#include "tools/lmvpack/stream_codec.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace {

constexpr int kFarthest = kRingSize; // distance of the oldest reachable byte

// The prefix code of each offset's upper six bits, read back from the decoder's table.
struct OffsetPrefixes {
    std::array<uint8_t, 64> code{};
    std::array<uint8_t, 64> length{};
};

constexpr OffsetPrefixes MakeOffsetPrefixes() {
    OffsetPrefixes prefixes;
    for (int i = 255; i >= 0; --i) {
        const int u = OffsetHigh[i];
        prefixes.length[u] = OffsetCodeLength[i];
        prefixes.code[u] = static_cast<uint8_t>(i >> (8 - OffsetCodeLength[i]));
    }
    return prefixes;
}

constexpr OffsetPrefixes kOffsetPrefixes = MakeOffsetPrefixes();
static_assert(kOffsetPrefixes.code[0] == 0 && kOffsetPrefixes.length[0] == 3);
static_assert(kOffsetPrefixes.code[1] == 2 && kOffsetPrefixes.length[1] == 4);
static_assert(kOffsetPrefixes.code[63] == 255 && kOffsetPrefixes.length[63] == 8);

// Bits that the offset of a match `distance` bytes back costs.
inline int OffsetBits(int distance) {
    return kOffsetPrefixes.length[(distance - 1) >> 6] + 6;
}

class BitWriter {
  public:
    explicit BitWriter(size_t expected) { bytes_.reserve(expected); }

    // The low `count` bits of `bits`, most significant first; count at most 32.
    void Put(uint32_t bits, int count) {
        pending_ = (pending_ << count) | bits;
        pending_count_ += count;
        while (pending_count_ >= 8) {
            pending_count_ -= 8;
            bytes_.push_back(static_cast<uint8_t>(pending_ >> pending_count_));
        }
    }

    // The stream, its last byte filled up with zero bits.
    std::vector<uint8_t> Finish() {
        if (pending_count_ > 0) Put(0, 8 - pending_count_);
        return std::move(bytes_);
    }

  private:
    std::vector<uint8_t> bytes_;
    uint64_t pending_ = 0;
    int pending_count_ = 0;
};

class SymbolWriter {
  public:
    explicit SymbolWriter(size_t expected) : bits_(expected) { ResetModel(model_); }

    void Literal(uint8_t byte) { Symbol(byte); }

    void Match(int length, int distance) {
        Symbol(253 + length);
        const int offset = distance - 1;
        bits_.Put(kOffsetPrefixes.code[offset >> 6], kOffsetPrefixes.length[offset >> 6]);
        bits_.Put(static_cast<uint32_t>(offset & 63), 6);
    }

    const AdaptiveModel& model() const { return model_; }
    std::vector<uint8_t> Finish() { return bits_.Finish(); }

  private:
    void Symbol(int symbol) {
        int length = 0;
        const uint32_t code = SymbolCode(model_, symbol, &length);
        bits_.Put(code, length);
        UpdateModel(model_, symbol);
    }

    AdaptiveModel model_;
    BitWriter bits_;
};

struct Match {
    int length = 0;
    int distance = 0;
};

// Hash chains over the history as the decoder sees it: the initial spaces, then the input.
// Positions count in that combined text; the input starts at kInitialFill.
class MatchFinder {
  public:
    explicit MatchFinder(std::span<const uint8_t> input)
        : text_(kInitialFill + input.size()), head_(size_t{1} << kHashBits, -1),
          previous_(text_.size(), -1) {
        std::memset(text_.data(), ' ', kInitialFill);
        if (!input.empty()) std::memcpy(text_.data() + kInitialFill, input.data(), input.size());
    }

    int64_t size() const { return static_cast<int64_t>(text_.size()); }
    uint8_t at(int64_t position) const { return text_[static_cast<size_t>(position)]; }

    // Calls found(length, distance) for every match at `position` that is longer than all
    // found before it, nearest first, following at most `depth` links. Lengths are capped
    // by `longest`.
    template <typename Found>
    void ForEachLonger(int64_t position, int depth, int longest, Found&& found) {
        InsertUpTo(position);
        if (longest < kMinMatch) return;
        const uint8_t* const here = text_.data() + position;
        int best = kMinMatch - 1;
        int32_t candidate = head_[Hash(position)];
        // The optimal parse searches a little ahead of where its next block starts, so the
        // chains may already hold positions at or after this one.
        while (candidate >= position)
            candidate = previous_[static_cast<size_t>(candidate)];
        while (candidate >= 0 && depth-- > 0) {
            const int64_t distance = position - candidate;
            if (distance > kFarthest) break;
            const uint8_t* const there = text_.data() + candidate;
            if (there[best] == here[best]) {
                int length = 0;
                while (length < longest && there[length] == here[length])
                    ++length;
                if (length > best) {
                    best = length;
                    found(length, static_cast<int>(distance));
                    if (length == longest) break;
                }
            }
            candidate = previous_[static_cast<size_t>(candidate)];
        }
    }

    Match Longest(int64_t position, int depth, int longest) {
        Match match;
        ForEachLonger(position, depth, longest, [&](int length, int distance) {
            match.length = length;
            match.distance = distance;
        });
        return match;
    }

  private:
    static constexpr int kHashBits = 16;

    uint32_t Hash(int64_t position) const {
        const uint8_t* const p = text_.data() + position;
        const uint32_t key = p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
        return (key * 2654435761u) >> (32 - kHashBits);
    }

    // Every position before `position` that has three bytes after it joins its chain.
    void InsertUpTo(int64_t position) {
        const int64_t last = std::min(position, size() - (kMinMatch - 1));
        for (; inserted_ < last; ++inserted_) {
            const uint32_t hash = Hash(inserted_);
            previous_[static_cast<size_t>(inserted_)] = head_[hash];
            head_[hash] = static_cast<int32_t>(inserted_);
        }
    }

    std::vector<uint8_t> text_;
    std::vector<int32_t> head_;
    std::vector<int32_t> previous_;
    int64_t inserted_ = 0;
};

// Passes the parse's position to the progress hook whenever it has moved a step further.
class ProgressTicker {
  public:
    explicit ProgressTicker(const EncodeProgress& hook) : hook_(hook) {}
    void At(int64_t position) {
        if (position < next_ || !hook_) return;
        hook_(static_cast<uint64_t>(position - kInitialFill));
        next_ = position + kStep;
    }

  private:
    static constexpr int64_t kStep = 64 * 1024;
    const EncodeProgress& hook_;
    int64_t next_ = kInitialFill + kStep;
};

inline int LongestAllowed(const MatchFinder& finder, int64_t position) {
    return static_cast<int>(std::min<int64_t>(kMaxMatch, finder.size() - position));
}

void EncodeGreedy(MatchFinder& finder, SymbolWriter& out, int depth, ProgressTicker& ticker) {
    int64_t position = kInitialFill;
    while (position < finder.size()) {
        ticker.At(position);
        const Match match = finder.Longest(position, depth, LongestAllowed(finder, position));
        if (match.length >= kMinMatch) {
            out.Match(match.length, match.distance);
            position += match.length;
        } else {
            out.Literal(finder.at(position));
            ++position;
        }
    }
}

void EncodeLazy(MatchFinder& finder, SymbolWriter& out, int depth, int good_enough,
                ProgressTicker& ticker) {
    int64_t position = kInitialFill;
    Match match = finder.Longest(position, depth, LongestAllowed(finder, position));
    while (position < finder.size()) {
        ticker.At(position);
        if (match.length < kMinMatch) {
            out.Literal(finder.at(position));
            ++position;
            if (position < finder.size())
                match = finder.Longest(position, depth, LongestAllowed(finder, position));
            continue;
        }
        // A longer match one byte further on is worth a literal now.
        if (match.length < good_enough && position + 1 < finder.size()) {
            const Match next =
                finder.Longest(position + 1, depth, LongestAllowed(finder, position + 1));
            if (next.length > match.length) {
                out.Literal(finder.at(position));
                ++position;
                match = next;
                continue;
            }
        }
        out.Match(match.length, match.distance);
        position += match.length;
        if (position < finder.size())
            match = finder.Longest(position, depth, LongestAllowed(finder, position));
    }
}

// Code lengths of every symbol in the model as it stands.
std::array<uint8_t, kSymbolCount> SymbolBits(const AdaptiveModel& model) {
    std::array<uint8_t, kSymbolCount> bits{};
    for (int symbol = 0; symbol < kSymbolCount; ++symbol) {
        int length = 0;
        SymbolCode(model, symbol, &length);
        bits[static_cast<size_t>(symbol)] = static_cast<uint8_t>(length);
    }
    return bits;
}

// Optimal parse, a block at a time: the cheapest path in bits through every literal and
// every match the chains offer. Codes are adaptive, so a price list is only an estimate:
// each block is first priced with the model as it stands at its start, then priced again
// with the model as that first path would leave it. The chains are followed through the
// whole window: on the benchmark corpus that is 0.1% smaller than stopping after 512 links.
// Everything else tried moved the total by 0.01% or less: more repricing passes keeping
// the path the model actually codes cheapest, fractional prices, per-symbol penalties,
// random perturbation of the prices, price tables that change within a block, blocks of
// 1 to 128 KiB. The static-price parse has reached what this format allows.
//
// The search runs kMaxMatch positions past the block so that matches are not cut at its
// end; the path is kept up to the first step that ends at or after the block's end.
void EncodeOptimal(MatchFinder& finder, SymbolWriter& out, int depth, int passes,
                   ProgressTicker& ticker) {
    constexpr int kBlock = 32768;
    constexpr int kSpan = kBlock + kMaxMatch;
    constexpr uint32_t kUnreached = std::numeric_limits<uint32_t>::max();
    struct Step {
        uint32_t cost = kUnreached;
        uint16_t length = 0; // 1 for a literal
        uint16_t distance = 0;
    };
    std::vector<Step> steps(kSpan + 1);
    // Per position of the span, the matches longer than any nearer one: (length, distance).
    std::vector<Match> candidates;
    std::vector<uint32_t> first_candidate(kSpan + 1);
    std::vector<Match> path;
    AdaptiveModel forecast;

    int64_t start = kInitialFill;
    while (start < finder.size()) {
        ticker.At(start);
        const int span = static_cast<int>(std::min<int64_t>(kSpan, finder.size() - start));
        candidates.clear();
        for (int i = 0; i < span; ++i) {
            first_candidate[static_cast<size_t>(i)] = static_cast<uint32_t>(candidates.size());
            finder.ForEachLonger(start + i, depth, std::min(kMaxMatch, span - i),
                                 [&](int length, int distance) {
                                     candidates.push_back(Match{length, distance});
                                 });
        }
        first_candidate[static_cast<size_t>(span)] = static_cast<uint32_t>(candidates.size());

        // The cheapest path under `bits`, block part only, into `path`.
        auto parse = [&](const std::array<uint8_t, kSymbolCount>& bits) {
            std::fill(steps.begin(), steps.begin() + span + 1, Step{});
            steps[0].cost = 0;
            for (int i = 0; i < span; ++i) {
                const uint32_t here = steps[static_cast<size_t>(i)].cost;
                Step& literal = steps[static_cast<size_t>(i) + 1];
                const uint32_t literal_cost = here + bits[finder.at(start + i)];
                if (literal_cost < literal.cost) literal = Step{literal_cost, 1, 0};
                int covered = kMinMatch - 1;
                for (uint32_t c = first_candidate[static_cast<size_t>(i)];
                     c < first_candidate[static_cast<size_t>(i) + 1]; ++c) {
                    const Match& match = candidates[c];
                    const uint32_t offset_cost =
                        here + static_cast<uint32_t>(OffsetBits(match.distance));
                    for (int l = covered + 1; l <= match.length; ++l) {
                        Step& target = steps[static_cast<size_t>(i + l)];
                        const uint32_t cost = offset_cost + bits[static_cast<size_t>(253 + l)];
                        if (cost < target.cost)
                            target = Step{cost, static_cast<uint16_t>(l),
                                          static_cast<uint16_t>(match.distance)};
                    }
                    covered = match.length;
                }
            }
            path.clear();
            for (int i = span; i > 0; i -= steps[static_cast<size_t>(i)].length) {
                const Step& step = steps[static_cast<size_t>(i)];
                path.push_back(Match{step.length, step.distance});
            }
            std::reverse(path.begin(), path.end());
            int advanced = 0;
            size_t kept = 0;
            while (kept < path.size() && advanced < kBlock)
                advanced += path[kept++].length;
            path.resize(kept);
        };

        parse(SymbolBits(out.model()));
        for (int pass = 1; pass < passes; ++pass) {
            forecast = out.model();
            int64_t position = start;
            for (const Match& step : path) {
                UpdateModel(forecast, step.length == 1 ? finder.at(position) : 253 + step.length);
                position += step.length;
            }
            parse(SymbolBits(forecast));
        }

        for (const Match& step : path) {
            if (step.length == 1)
                out.Literal(finder.at(start));
            else
                out.Match(step.length, step.distance);
            start += step.length;
        }
    }
}

} // namespace

std::optional<CompressionLevel> ParseCompressionLevel(std::string_view name) {
    if (name == "fast") return CompressionLevel::Fast;
    if (name == "default") return CompressionLevel::Default;
    if (name == "best") return CompressionLevel::Best;
    return std::nullopt;
}

std::vector<uint8_t> EncodeStream(std::span<const uint8_t> input, CompressionLevel level,
                                  const EncodeProgress& progress) {
    if (input.empty()) {
        if (progress) progress(0);
        return {};
    }
    // The installer counts a member's bytes in a signed 32-bit number and restores nothing of
    // a member of 2 GiB or more; the chains index positions the same way.
    if (input.size() > static_cast<size_t>(INT32_MAX - kInitialFill))
        throw std::length_error("a member of 2 GiB or more cannot be compressed");
    MatchFinder finder(input);
    SymbolWriter out(input.size() / 2 + 16);
    ProgressTicker ticker(progress);
    switch (level) {
    case CompressionLevel::Fast:
        EncodeGreedy(finder, out, 8, ticker);
        break;
    case CompressionLevel::Default:
        EncodeLazy(finder, out, 64, 24, ticker);
        break;
    case CompressionLevel::Best:
        EncodeOptimal(finder, out, kRingSize, 2, ticker); // every position in the window
        break;
    }
    if (progress) progress(input.size());
    return out.Finish();
}
