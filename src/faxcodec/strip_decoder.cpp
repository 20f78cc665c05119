#include "faxcodec/strip_decoder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <string_view>

#include "faxcodec/code_trees.h"

namespace trelvane::faxcodec {
namespace {

// The library reads codes through fixed windows: 12 bits for white runs, 13 for black runs,
// 7 for the two-dimensional modes, and its tables give each window the code that begins it.
// The run windows are those of the code tables the recognising decoder keeps (kWhiteFast,
// kBlackFast), which decode every code of T.4; only the end of line differs: the library
// takes eleven zeros as one, and only the zeros.
constexpr int kWhiteBits = 12;
constexpr int kBlackBits = 13;
constexpr int kModeBits = 7;
static_assert(kWhiteBits == kWhiteFastBits && kBlackBits == kBlackFastBits);

enum RunKind : uint8_t { kTerminating, kMakeUp, kEndOfLineCode, kBadCode };
struct RunEntry {
    uint16_t value;
    uint8_t width;  // bits the code takes (0 for a bad code, which takes nothing)
    uint8_t kind;
};

// The code that begins a window of `bits` bits.
template <int Bits, size_t N>
inline RunEntry run_code(const std::array<FastEntry, N>& table, uint32_t window) {
    if ((window >> (Bits - 11)) == 0)
        return {0, 11, kEndOfLineCode};  // the 1 that ends it is looked for at the next line
    const FastEntry e = table[window];
    if (e.value < 0)
        return {0, 0, kBadCode};  // eight to ten zeros and a 1
    return {static_cast<uint16_t>(e.value), e.length,
            static_cast<uint8_t>(e.value < 64 ? kTerminating : kMakeUp)};
}

enum ModeKind : uint8_t { kPass, kHorizontal, kV0, kVR, kVL, kExtension, kModeEndOfLine };
struct ModeEntry {
    uint8_t kind;
    uint8_t width;
    uint8_t offset;  // of VR and VL codes
    int8_t shift;    // a1 - b1 of a VR or VL code: +offset or -offset
};

struct Tables {
    std::array<ModeEntry, 1 << kModeBits> mode;
};

template <class Entry, size_t N>
void add_code(std::array<Entry, N>& table, int table_bits, std::string_view bits, Entry entry) {
    uint32_t prefix = 0;
    for (const char c : bits)
        prefix = prefix * 2 + (c == '1' ? 1 : 0);
    const int free_bits = table_bits - static_cast<int>(bits.size());
    const uint32_t first = prefix << free_bits;
    for (uint32_t i = 0; i < (1u << free_bits); ++i)
        table[first + i] = entry;
}

Tables build_tables() {
    Tables t{};
    const struct {
        std::string_view bits;
        ModeEntry entry;
    } modes[] = {
        {"1", {kV0, 1, 0, 0}},
        {"011", {kVR, 3, 1, 1}},
        {"000011", {kVR, 6, 2, 2}},
        {"0000011", {kVR, 7, 3, 3}},
        {"010", {kVL, 3, 1, -1}},
        {"000010", {kVL, 6, 2, -2}},
        {"0000010", {kVL, 7, 3, -3}},
        {"001", {kHorizontal, 3, 0, 0}},
        {"0001", {kPass, 4, 0, 0}},
        {"0000001", {kExtension, 7, 0, 0}},
        // Seven zeros begin an end-of-line code; the four zeros after them are read apart.
        {"0000000", {kModeEndOfLine, 7, 0, 0}},
    };
    for (const auto& m : modes)
        add_code(t.mode, kModeBits, m.bits, m.entry);
    return t;
}

const Tables& tables() {
    static const Tables t = build_tables();
    return t;
}

// The library keeps a line's positions and runs in `int` and `uint32` and lets them wrap;
// these do the same without overflowing.
inline int32_t wrap(int64_t v) {
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v)));
}

inline uint64_t load_be64(const uint8_t* p) {
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return __builtin_bswap64(v);
}

// Widths beyond a 16-bit header field never reach the decoder from a fax; bounding them keeps
// the run arrays small.
constexpr uint32_t kMaxWidth = 65535;
// Room after each run array for the library's own writes at its end (the fill routine's even
// count) and for the changing elements' sentinels.
constexpr uint32_t kSlack = 4;

}  // namespace

struct StripDecoder::Row {
    uint32_t* runs = nullptr;
    uint32_t pa = 0;  // runs stored
    int32_t a0 = 0;
    int32_t run_length = 0;
    bool nothing = true;      // the row ended before any run was decoded
    bool eol = false;         // it ended at an end-of-line code
    bool damaged = false;     // an invalid code ended it
    bool bad_length = false;  // its runs did not add up to the width
    bool skipped = false;     // data other than zeros was skipped before its end-of-line code

    void mark_ended() { nothing = a0 == 0 && pa == 0 && run_length == 0; }
};

StripDecoder::StripDecoder(const CodedStrip& strip, StripCoding coding, uint32_t width)
    : coding_(coding), width_(static_cast<int32_t>(std::min(width, kMaxWidth))) {
    bits_.data = strip.data();
    bits_.end = static_cast<int64_t>(strip.size()) * 8;
    bits_.fast_limit = bits_.end - 32;
    status_.coding = coding;
    if (width == 0 || width > kMaxWidth) {
        stopped_ = true;
        return;
    }
    if (coding == StripCoding::kGroup4) {
        // As the library sizes them: the width rounded up to 32, twice, for each of the two.
        nruns_ = 2 * ((width + 31) / 32 * 32);
        runs_.assign(2 * (nruns_ + kSlack), 0);
        current_ = 0;
        reference_ = nruns_ + kSlack;
        runs_[reference_] = width;  // the line above the first is white
        runs_[reference_ + 1] = 0;
    } else {
        // A line's runs, each at least one pixel apart from a leading white 0 and the zero
        // pairs the decoder drops, plus what completing a damaged line adds.
        nruns_ = 2 * width + 8;
        runs_.assign(nruns_ + kSlack, 0);
    }
    changes_.assign(width + kSlack, width);
}

// The library loads bytes only when a read needs more bits than it holds, and once the data
// is used up it pads a read with zero bits as long as it still holds any bit; only a read that
// finds it holding none ends the data. What it holds is the bits up to the most any read has
// asked for, rounded up to a byte, so far from the end only that most is tracked; near the
// end its accumulator is followed exactly.
inline bool StripDecoder::Bits::need(int n, bool wide) {
    if (consumed <= fast_limit) {
        demand = std::max(demand, consumed + n);
        return true;
    }
    return need_exact(n, wide);
}

bool StripDecoder::Bits::need_exact(int n, bool wide) {
    if (!exact) {
        exact = true;
        loaded = (demand + 7) & ~int64_t{7};
    }
    if (loaded - consumed >= n)
        return true;
    if (loaded >= end) {
        if (loaded == consumed)
            return false;
        loaded = consumed + n;
        return true;
    }
    loaded += 8;
    if (wide && loaded - consumed < n) {
        if (loaded >= end) {
            loaded = consumed + n;
        } else {
            loaded += 8;
        }
    }
    return true;
}

inline uint64_t StripDecoder::Bits::peek64() const {
    return load_be64(data + (consumed >> 3)) << (consumed & 7);
}

inline uint32_t StripDecoder::Bits::peek(int n) const {
    return static_cast<uint32_t>(peek64() >> (64 - n));
}

// Finds the end-of-line code that starts a Group 3 line: after a line that ended by itself,
// eleven zeros are looked for bit by bit (anything else is skipped); then zeros up to the 1
// that ends the code.
bool StripDecoder::sync_end_of_line(Bits& b, bool& skipped_data) {
    if (eol_count_ == 0) {
        for (;;) {
            if (b.consumed + 96 <= b.fast_limit) {
                // Many bits at once: no window of eleven zeros can start at or before a 1.
                const uint64_t window = b.peek64();
                if ((window >> (64 - 11)) == 0) {
                    b.demand = std::max(b.demand, b.consumed + 11);
                    break;
                }
                const int zeros = __builtin_clzll(window);
                skipped_data = true;
                b.demand = std::max(b.demand, b.consumed + zeros + 11);
                b.consumed += zeros + 1;
                continue;
            }
            if (!b.need(11, true))
                return false;
            if (b.peek(11) == 0)
                break;
            if (b.peek(1) != 0)
                skipped_data = true;
            b.consumed += 1;
        }
    }
    for (;;) {
        if (!b.need(8, false))
            return false;
        if (b.peek(8) != 0)
            break;
        b.consumed += 8;
    }
    b.consumed += __builtin_clz(b.peek(8) << 24) + 1;
    eol_count_ = 0;
    return true;
}

bool StripDecoder::set_value(Row& r, int32_t x) {
    if (r.pa >= nruns_)
        return false;
    r.runs[r.pa++] = static_cast<uint32_t>(r.run_length) + static_cast<uint32_t>(x);
    r.a0 = wrap(int64_t{r.a0} + x);
    r.run_length = 0;
    return true;
}

// Completes a line as the library does: a line too long loses its last runs until it fits,
// and what is missing up to the width becomes white.
bool StripDecoder::cleanup_runs(Row& r) {
    if (r.run_length != 0 && !set_value(r, 0))
        return false;
    if (r.a0 == width_)
        return true;
    r.bad_length = true;
    while (r.a0 > width_ && r.pa > 0) {
        --r.pa;
        r.a0 = wrap(static_cast<uint32_t>(r.a0) - static_cast<uint64_t>(r.runs[r.pa]));
    }
    if (r.a0 < width_) {
        if (r.a0 < 0)
            r.a0 = 0;
        if ((r.pa & 1) != 0 && !set_value(r, 0))
            return false;
        return set_value(r, width_ - r.a0);
    }
    if (r.a0 > width_)
        return set_value(r, width_) && set_value(r, 0);
    return true;
}

StripDecoder::RowEnd StripDecoder::decode_row_1d(Row& r) {
    Bits b = bits_;
    if (!sync_end_of_line(b, r.skipped)) {
        bits_ = b;
        r.mark_ended();
        cleanup_runs(r);
        return RowEnd::kEndOfData;
    }
    // The line in locals: stores into the run array cannot then change them.
    uint32_t* const runs = r.runs;
    uint32_t pa = 0;
    int32_t a0 = 0;
    int32_t run_length = 0;
    const uint32_t nruns = nruns_;
    enum class Run { kDone, kEndOfLine, kBad, kEndOfData };
    // One run of a colour: make-up codes add up until a terminating code.
    auto read_run = [&]<int Bits, size_t N>(const std::array<FastEntry, N>& table) {
        for (;;) {
            if (!b.need(Bits, true))
                return Run::kEndOfData;
            const RunEntry e = run_code<Bits>(table, b.peek(Bits));
            b.consumed += e.width;
            if (e.kind == kTerminating) {
                if (pa < nruns) {
                    runs[pa++] = static_cast<uint32_t>(run_length) + e.value;
                    a0 = wrap(int64_t{a0} + e.value);
                    run_length = 0;
                }
                return Run::kDone;
            }
            if (e.kind == kMakeUp) {
                a0 = wrap(int64_t{a0} + e.value);
                run_length = wrap(int64_t{run_length} + e.value);
                continue;
            }
            return e.kind == kEndOfLineCode ? Run::kEndOfLine : Run::kBad;
        }
    };
    Run run = Run::kDone;
    for (;;) {
        run = read_run.template operator()<kWhiteBits>(kWhiteFast);
        if (run != Run::kDone || a0 >= width_)
            break;
        run = read_run.template operator()<kBlackBits>(kBlackFast);
        if (run != Run::kDone || a0 >= width_)
            break;
        // A white and a black run of nothing are no runs at all.
        if (runs[pa - 1] == 0 && runs[pa - 2] == 0)
            pa -= 2;
    }
    bits_ = b;
    r.pa = pa;
    r.a0 = a0;
    r.run_length = run_length;
    r.mark_ended();
    if (run == Run::kEndOfLine) {
        eol_count_ = 1;
        r.eol = true;
    } else if (run == Run::kBad) {
        r.damaged = true;
    }
    cleanup_runs(r);
    return run == Run::kEndOfData ? RowEnd::kEndOfData : RowEnd::kComplete;
}

StripDecoder::RowEnd StripDecoder::decode_row_2d(Row& r) {
    const Tables& t = tables();
    Bits b = bits_;
    const uint32_t* const ref = runs_.data() + reference_;
    uint32_t* const runs = r.runs;
    const uint32_t nruns = nruns_;
    const int32_t width = width_;
    // The line in locals: stores into the run arrays cannot then change them.
    uint32_t pa = 0;
    int32_t a0 = 0;
    int32_t run_length = 0;
    uint32_t pb = 0;
    int32_t b1 = static_cast<int32_t>(ref[pb++]);

    auto set_value = [&](int32_t x) {
        if (pa >= nruns)
            return false;
        runs[pa++] = static_cast<uint32_t>(run_length) + static_cast<uint32_t>(x);
        a0 = wrap(int64_t{a0} + x);
        run_length = 0;
        return true;
    };
    // Moves b1 to the first changing element right of a0 (whole run pairs at a time).
    auto check_b1 = [&]() {
        if (pa != 0) {
            while (b1 <= a0 && b1 < width) {
                if (pb + 1 >= nruns)
                    return false;
                b1 = wrap(static_cast<uint32_t>(b1) + uint64_t{ref[pb] + ref[pb + 1]});
                pb += 2;
            }
        }
        return true;
    };
    // The next bits come from a word held in a register, loaded again only every forty bits
    // or so, so that each code waits for one table look-up, not for a load from the data too.
    // A window is at most 13 bits wide.
    uint64_t word = 0;
    int64_t word_at = -64;
    auto window = [&](int n) {
        int64_t offset = b.consumed - word_at;
        if (offset > 64 - kBlackBits) {
            word = load_be64(b.data + (b.consumed >> 3));
            word_at = b.consumed & ~int64_t{7};
            offset = b.consumed & 7;
        }
        return static_cast<uint32_t>((word << offset) >> (64 - n));
    };
    enum class Step { kOn, kEndOfLine, kEndOfData, kOverflow };
    auto read_run = [&]<int Bits, size_t N>(const std::array<FastEntry, N>& table) {
        for (;;) {
            if (!b.need(Bits, true))
                return Step::kEndOfData;
            const RunEntry e = run_code<Bits>(table, window(Bits));
            b.consumed += e.width;
            if (e.kind == kTerminating)
                return set_value(e.value) ? Step::kOn : Step::kOverflow;
            if (e.kind != kMakeUp) {
                r.damaged = true;  // no end of line may stand inside a horizontal code
                return Step::kEndOfLine;
            }
            a0 = wrap(int64_t{a0} + e.value);
            run_length = wrap(int64_t{run_length} + e.value);
        }
    };

    Step step = Step::kOn;
    while (a0 < width) {
        if (pa >= nruns)
            return RowEnd::kOverflow;
        if (!b.need(kModeBits, false)) {
            step = Step::kEndOfData;
            break;
        }
        const uint32_t code = window(kModeBits);
        if (code >= 0x40) {
            // V0, the commonest code by far, decided before the table.
            b.consumed += 1;
            if (!check_b1() || !set_value(wrap(int64_t{b1} - a0)) || pb >= nruns)
                return RowEnd::kOverflow;
            b1 = wrap(static_cast<uint32_t>(b1) + uint64_t{ref[pb++]});
            continue;
        }
        const ModeEntry m = t.mode[code];
        b.consumed += m.width;
        if (m.kind == kVR || m.kind == kVL) {
            // VR and VL, a third of the codes, share one path: which of the two it is changes
            // from code to code, and a branch on it would often be mispredicted. a1 is b1
            // moved right (VR) or left (VL); then b1 moves on to the next changing element of
            // the reference line (VR) or back to the one before (VL).
            if (!check_b1())
                return RowEnd::kOverflow;
            const bool left = m.kind == kVL;
            if (left & (b1 < wrap(static_cast<uint32_t>(a0) + uint64_t{m.offset}))) {
                r.damaged = true;  // a changing element left of a0
                step = Step::kEndOfLine;
                break;
            }
            if (!set_value(wrap(int64_t{b1} - a0 + m.shift)) || (left ? pb == 0 : pb >= nruns))
                return RowEnd::kOverflow;
            const uint32_t at = left ? pb - 1 : pb;
            const uint32_t run = ref[at];
            b1 = static_cast<int32_t>(static_cast<uint32_t>(b1) + (left ? 0u - run : run));
            pb = left ? at : pb + 1;
        } else if (m.kind == kHorizontal) {
            const bool black_first = (pa & 1) != 0;
            auto white = [&] { return read_run.template operator()<kWhiteBits>(kWhiteFast); };
            auto black = [&] { return read_run.template operator()<kBlackBits>(kBlackFast); };
            step = black_first ? black() : white();
            if (step == Step::kOn)
                step = black_first ? white() : black();
            if (step == Step::kOverflow)
                return RowEnd::kOverflow;
            if (step != Step::kOn)
                break;
            if (!check_b1())
                return RowEnd::kOverflow;
        } else if (m.kind == kPass) {
            if (!check_b1() || pb + 1 >= nruns)
                return RowEnd::kOverflow;
            b1 = wrap(static_cast<uint32_t>(b1) + uint64_t{ref[pb++]});
            run_length = wrap(int64_t{run_length} + (int64_t{b1} - a0));
            a0 = b1;
            b1 = wrap(static_cast<uint32_t>(b1) + uint64_t{ref[pb++]});
        } else if (m.kind == kExtension) {
            runs[pa++] = static_cast<uint32_t>(width - a0);
            r.damaged = true;  // uncompressed mode is not decoded
            step = Step::kEndOfLine;
            break;
        } else {  // end of line
            r.nothing = a0 == 0 && pa == 0 && run_length == 0;
            r.eol = true;
            runs[pa++] = static_cast<uint32_t>(width - a0);
            if (!b.need(4, false)) {
                step = Step::kEndOfData;
                break;
            }
            if (b.peek(4) != 0)
                r.damaged = true;
            b.consumed += 4;
            eol_count_ = 1;
            step = Step::kEndOfLine;
            break;
        }
    }
    if (!r.eol)
        r.nothing = a0 == 0 && pa == 0 && run_length == 0;
    if (step == Step::kOn && run_length != 0) {
        if (int64_t{run_length} + a0 < width) {
            // Expect a final V0.
            if (!b.need(1, false)) {
                step = Step::kEndOfData;
            } else if (b.peek(1) == 0) {
                r.damaged = true;
            } else {
                b.consumed += 1;
            }
        }
        if (step == Step::kOn && !r.damaged && !set_value(0))
            return RowEnd::kOverflow;
    }
    bits_ = b;
    r.pa = pa;
    r.a0 = a0;
    r.run_length = run_length;
    if (!cleanup_runs(r))
        return RowEnd::kOverflow;
    return step == Step::kEndOfData ? RowEnd::kEndOfData : RowEnd::kComplete;
}

void StripDecoder::take_changes(uint32_t* runs, uint32_t count) {
    // The fill routine evens the count with a zero run and clamps runs past the width in
    // place, where the next line reads them as its reference.
    if ((count & 1) != 0)
        runs[count++] = 0;
    const uint32_t w = static_cast<uint32_t>(width_);
    uint32_t* out = changes_.data();
    uint32_t k = 0;
    uint32_t x = 0;
    bool black = false;
    for (uint32_t i = 0; i < count; i += 2) {
        uint32_t run = runs[i];
        if (x + run > w || run > w)
            run = runs[i] = w - x;
        if (run != 0) {
            if (black) {
                out[k++] = x;
                black = false;
            }
            x += run;
        }
        run = runs[i + 1];
        if (x + run > w || run > w)
            run = runs[i + 1] = w - x;
        if (run != 0) {
            if (!black) {
                out[k++] = x;
                black = true;
            }
            x += run;
        }
    }
    // What no run covers stays as the row was: white.
    if (black && x < w)
        out[k++] = x;
    change_count_ = k;
}

void StripDecoder::finish_row(const Row& r, RowEnd end) {
    ++status_.rows_decoded;
    bool damaged = false;
    const bool empty = r.nothing && (r.eol || end == RowEnd::kEndOfData);
    if (end == RowEnd::kOverflow) {
        damaged = true;
        status_.run_overflow = true;
        stopped_ = true;
    } else if (coding_ == StripCoding::kGroup3OneDimensional) {
        // Data skipped after a line that ended as it should, before another line, is a line
        // lost (what follows the last line is not).
        const bool lost_line =
            r.skipped && (row_index_ == 0 || previous_row_complete_) && end == RowEnd::kComplete;
        damaged = lost_line || (end == RowEnd::kComplete && !empty && (r.damaged || r.bad_length));
        previous_row_complete_ = end == RowEnd::kComplete && !r.eol && !r.damaged && !r.bad_length;
    } else {
        damaged = r.damaged || (r.bad_length && !r.nothing && end == RowEnd::kComplete);
        // An end-of-line code ends a Group 4 page.
        if (r.eol)
            stopped_ = true;
    }
    if (end == RowEnd::kEndOfData) {
        // Data that ends between lines may just end there (many writers put no end-of-page
        // code in a strip); data that ends inside a line, or before the first, is cut.
        stopped_ = true;
        status_.cut_short = status_.cut_short || !r.nothing || row_index_ == 0;
    } else if (!empty && bits_.consumed > bits_.end) {
        // A line completed by the zero bits read past the end of the data.
        status_.cut_short = true;
    }
    if (damaged) {
        ++status_.damaged_rows;
        if (status_.first_damaged_row < 0)
            status_.first_damaged_row = row_index_;
    }
    if (!empty || damaged)
        status_.content_rows = row_index_ + 1;
    ++row_index_;
}

std::span<const uint32_t> StripDecoder::next_row() {
    if (stopped_)
        return {};
    Row r;
    if (coding_ == StripCoding::kGroup4) {
        r.runs = runs_.data() + current_;
        const RowEnd end = decode_row_2d(r);
        finish_row(r, end);
        if (end == RowEnd::kOverflow)
            return {};
        take_changes(r.runs, r.pa);
        if (!stopped_) {
            // The imaginary change after the line, for its use as the reference.
            if (r.pa >= nruns_) {
                status_.run_overflow = true;
                stopped_ = true;
            } else {
                r.runs[r.pa++] = 0;
                std::swap(current_, reference_);
            }
        }
    } else {
        r.runs = runs_.data();
        const RowEnd end = decode_row_1d(r);
        finish_row(r, end);
        take_changes(r.runs, r.pa);
    }
    return {changes_.data(), change_count_};
}

StripDecodeStatus StripDecoder::count_rows(const CodedStrip& strip, StripCoding coding,
                                           uint32_t width, uint32_t rows) {
    StripDecoder decoder(strip, coding, width);
    for (uint32_t i = 0; i < rows && !decoder.stopped(); ++i)
        decoder.next_row();
    return decoder.status();
}

}  // namespace trelvane::faxcodec
