// Results of the bit reader, the run writer and the page decoders. Every failure meaning has its
// own negative value, so that a result passed up from one family to the next can never be read
// as another; successes (bytes, run lengths, mode numbers, leaves, counts) are never negative.
#pragma once

namespace trelvane::faxcodec {

// Negative results of the run reader and the line decoders.
enum DecodeStatus : int {
    kEndOfData = -11,           // a read failed
    kInvalidCode = -12,         // a bit pattern that is no code of the table in use
    kEndOfLine = -13,           // an end-of-line code was read
    kEndOfDataAtLineEnd = -14,  // the data ended right after a complete line
};

// Statuses of a byte fetch, kept in FaxBitReader::current (sticky once set).
enum FetchStatus : int {
    kFetchNoData = -1,       // the data pointer is null
    kFetchBeforeStart = -2,  // the position is negative
    kFetchEndOfData = -3,    // the position is at or past the end
};

// Result of a page decode whose buffers cannot be allocated (or a kind/mode without decoding).
// Apart from kFetchNoData (-1), which the fetch statuses keep: a page decode also gives
// kEndOfData and kInvalidCode, and a refusal must not read as a fetch failure.
inline constexpr int kDecodeRefused = -21;

// write_run: the run was refused or cut at the end of the row.
inline constexpr int kRunRefused = -31;

// A BitCursor leaves a code to the reader (never leaves the decoders).
inline constexpr int kCursorNeedsReader = -100;

namespace detail {

inline constexpr int kAllFailures[] = {
    kFetchNoData, kFetchBeforeStart,   kFetchEndOfData, kEndOfData,  kInvalidCode,
    kEndOfLine,   kEndOfDataAtLineEnd, kDecodeRefused,  kRunRefused, kCursorNeedsReader,
};

constexpr bool all_negative_and_distinct() {
    for (const int a : kAllFailures) {
        if (a >= 0)
            return false;
        int same = 0;
        for (const int b : kAllFailures)
            same += a == b ? 1 : 0;
        if (same != 1)
            return false;
    }
    return true;
}

}  // namespace detail

static_assert(detail::all_negative_and_distinct(),
              "codec failure results must be negative and each meaning must have its own value");

}  // namespace trelvane::faxcodec
