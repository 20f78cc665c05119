// Results of the bit reader and the line decoders.
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
inline constexpr int kDecodeRefused = -1;

}  // namespace trelvane::faxcodec
