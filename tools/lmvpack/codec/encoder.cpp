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
//
// Memory stays the same whatever the member's size: the input passes through a buffer that
// slides along it, keeping the 4096 bytes a match may reach back to and the block ahead that
// the optimal parse prices; the hash chains keep only their recent links, in a ring; the coded
// bits leave in pieces as they are made. None of this changes a single choice of the parse: a
// chain is never followed past the window, so links that the ring has dropped are never asked
// for.
#include "decode/adaptive_model.h"
#include "decode/lzh_decoder.h"
#include "tools/lmvpack/codec/stream_codec.h"

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
    explicit BitWriter(const ByteWriter& write) : write_(write) { piece_.reserve(kPieceSize); }

    // The low `count` bits of `bits`, most significant first; count at most 32.
    void Put(uint32_t bits, int count) {
        pending_ = (pending_ << count) | bits;
        pending_count_ += count;
        while (pending_count_ >= 8) {
            pending_count_ -= 8;
            piece_.push_back(static_cast<uint8_t>(pending_ >> pending_count_));
        }
        if (piece_.size() >= kPieceSize) Hand();
    }

    // Fills the last byte up with zero bits and hands out the rest; returns the stream's size.
    uint64_t Finish() {
        if (pending_count_ > 0) Put(0, 8 - pending_count_);
        Hand();
        return written_;
    }

  private:
    static constexpr size_t kPieceSize = 65536;

    void Hand() {
        if (piece_.empty()) return;
        write_(piece_);
        written_ += piece_.size();
        piece_.clear();
    }

    const ByteWriter& write_;
    std::vector<uint8_t> piece_;
    uint64_t written_ = 0;
    uint64_t pending_ = 0;
    int pending_count_ = 0;
};

class SymbolWriter {
  public:
    explicit SymbolWriter(const ByteWriter& write) : bits_(write) { ResetModel(model_); }

    void Literal(uint8_t byte) { Symbol(byte); }

    void Match(int length, int distance) {
        Symbol(253 + length);
        const int offset = distance - 1;
        bits_.Put(kOffsetPrefixes.code[offset >> 6], kOffsetPrefixes.length[offset >> 6]);
        bits_.Put(static_cast<uint32_t>(offset & 63), 6);
    }

    const AdaptiveModel& model() const { return model_; }
    uint64_t Finish() { return bits_.Finish(); }

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
//
// The text lives in a buffer that slides: Fill() reads ahead up to a position and keeps what
// lies behind a given one, back to the oldest byte a match there may reach. Everything else
// the coders ask for lies in that stretch. The chain links live in a ring of kLinkRing entries
// indexed by position: a link is read only for a position inside the window of the position
// searched, at most kMaxMatch + 1 behind the newest link, so its entry is never one that a
// later position has taken over.
class MatchFinder {
  public:
    explicit MatchFinder(const ByteReader& read)
        : read_(read), text_(kTextSize), head_(size_t{1} << kHashBits, -1), previous_(kLinkRing) {
        std::memset(text_.data(), ' ', kInitialFill);
        filled_ = kInitialFill;
    }

    // Makes every byte from `keep` - kFarthest up to `ahead` (or to the end of the input, if that
    // comes first) readable, without moving anything from `keep` on out of reach.
    void Fill(int64_t keep, int64_t ahead) {
        if (ahead <= filled_ || ended_) return;
        if (ahead - base_ > static_cast<int64_t>(text_.size())) {
            const int64_t oldest = std::max<int64_t>(base_, keep - kFarthest);
            if (ahead - oldest > static_cast<int64_t>(text_.size()))
                throw std::logic_error("the encoder's text buffer is too small");
            std::memmove(text_.data(), text_.data() + (oldest - base_),
                         static_cast<size_t>(filled_ - oldest));
            base_ = oldest;
        }
        while (filled_ < ahead) {
            const size_t room = text_.size() - static_cast<size_t>(filled_ - base_);
            const size_t got = read_(text_.data() + (filled_ - base_), room);
            if (got == 0) {
                ended_ = true;
                break;
            }
            filled_ += static_cast<int64_t>(got);
            // The installer counts a member's bytes in a signed 32-bit number and restores
            // nothing of a member of 2 GiB or more; the chains index positions the same way.
            if (filled_ > INT32_MAX)
                throw std::length_error("a member of 2 GiB or more cannot be compressed");
        }
    }

    // The end of the text as far as it is known: the real end once Fill() has met it.
    int64_t size() const { return filled_; }
    uint8_t at(int64_t position) const { return text_[static_cast<size_t>(position - base_)]; }

    // Calls found(length, distance) for every match at `position` that is longer than all
    // found before it, nearest first, following at most `depth` links. Lengths are capped
    // by `longest`.
    template <typename Found>
    void ForEachLonger(int64_t position, int depth, int longest, Found&& found) {
        InsertUpTo(position);
        if (longest < kMinMatch) return;
        const uint8_t* const here = Pointer(position);
        int best = kMinMatch - 1;
        int32_t candidate = head_[Hash(position)];
        // The optimal parse searches a little ahead of where its next block starts, so the
        // chains may already hold positions at or after this one.
        while (candidate >= position)
            candidate = Link(candidate);
        while (candidate >= 0 && depth-- > 0) {
            const int64_t distance = position - candidate;
            if (distance > kFarthest) break;
            const uint8_t* const there = Pointer(candidate);
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
            candidate = Link(candidate);
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

    // Room for one block of the optimal parse with the window behind it and a match ahead.
    static constexpr int kTextSize = 1 << 18;

  private:
    static constexpr int kHashBits = 16;
    static constexpr int kLinkRing = 1 << 14;
    static_assert(kLinkRing > kFarthest + 2 * (kMaxMatch + 1));

    const uint8_t* Pointer(int64_t position) const { return text_.data() + (position - base_); }

    int32_t Link(int32_t position) const {
        return previous_[static_cast<size_t>(position) & (kLinkRing - 1)];
    }

    uint32_t Hash(int64_t position) const {
        const uint8_t* const p = Pointer(position);
        const uint32_t key = p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
        return (key * 2654435761u) >> (32 - kHashBits);
    }

    // Every position before `position` that has three bytes after it joins its chain.
    void InsertUpTo(int64_t position) {
        const int64_t last = std::min(position, size() - (kMinMatch - 1));
        for (; inserted_ < last; ++inserted_) {
            const uint32_t hash = Hash(inserted_);
            previous_[static_cast<size_t>(inserted_) & (kLinkRing - 1)] = head_[hash];
            head_[hash] = static_cast<int32_t>(inserted_);
        }
    }

    const ByteReader& read_;
    std::vector<uint8_t> text_;
    int64_t base_ = 0;   // the position of text_[0]
    int64_t filled_ = 0; // the position after the last byte read
    bool ended_ = false;
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

// The text a match at a position may cover, and the next position's: what the greedy and lazy
// coders must have read before they look at a position.
constexpr int kLookAhead = kMaxMatch + 1;

// Valid once the text is filled kLookAhead past `position`: the end, if it is nearer than
// that, is then known.
inline int LongestAllowed(const MatchFinder& finder, int64_t position) {
    return static_cast<int>(std::min<int64_t>(kMaxMatch, finder.size() - position));
}

void EncodeGreedy(MatchFinder& finder, SymbolWriter& out, int depth, ProgressTicker& ticker) {
    int64_t position = kInitialFill;
    for (finder.Fill(position, position + kLookAhead); position < finder.size();
         finder.Fill(position, position + kLookAhead)) {
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
    auto longest = [&](int64_t position) {
        finder.Fill(position, position + kLookAhead);
        return finder.Longest(position, depth, LongestAllowed(finder, position));
    };
    int64_t position = kInitialFill;
    Match match = longest(position);
    while (position < finder.size()) {
        ticker.At(position);
        if (match.length < kMinMatch) {
            out.Literal(finder.at(position));
            ++position;
            finder.Fill(position, position + kLookAhead);
            if (position < finder.size()) match = longest(position);
            continue;
        }
        // A longer match one byte further on is worth a literal now.
        if (match.length < good_enough && position + 1 < finder.size()) {
            const Match next = longest(position + 1);
            if (next.length > match.length) {
                out.Literal(finder.at(position));
                ++position;
                match = next;
                continue;
            }
        }
        out.Match(match.length, match.distance);
        position += match.length;
        finder.Fill(position, position + kLookAhead);
        if (position < finder.size()) match = longest(position);
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
// whole window. What else was tried, and why none of it helps: docs/benchmarks.md ("Why
// `best` stays where it is").
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

    static_assert(kSpan + 1 + kFarthest <= MatchFinder::kTextSize);
    int64_t start = kInitialFill;
    for (finder.Fill(start, start + kSpan + 1); start < finder.size();
         finder.Fill(start, start + kSpan + 1)) {
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

uint64_t EncodeStream(const ByteReader& read, const ByteWriter& write, CompressionLevel level,
                      const EncodeProgress& progress) {
    MatchFinder finder(read);
    SymbolWriter out(write);
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
    if (progress) progress(static_cast<uint64_t>(finder.size() - kInitialFill));
    return out.Finish();
}

std::vector<uint8_t> EncodeStream(std::span<const uint8_t> input, CompressionLevel level,
                                  const EncodeProgress& progress) {
    std::vector<uint8_t> stream;
    EncodeStream(
        ReadFromMemory(input),
        [&](std::span<const uint8_t> piece) {
            stream.insert(stream.end(), piece.begin(), piece.end());
        },
        level, progress);
    return stream;
}
