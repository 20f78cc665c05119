// One share of a folder run: batch systems that already spread work over machines (GNU
// parallel, Slurm arrays, Kubernetes indexed jobs) start N runs over one archive, and run K
// converts the files at plan positions K-1, K-1+N, K-1+2N, ... Every run walks and names the
// whole tree alike, so the N shares together are one run's files and PDFs, each file once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace trelvane::app {

// More runs than any cluster starts for one archive; a larger N is a slip (an index typed where
// the count belongs).
constexpr uint32_t kMaxShardCount = 100000;

struct Shard {
    uint32_t number = 1;  // K, counted from 1
    uint32_t count = 1;   // N; 1 is the whole run

    bool is_whole() const { return count == 1; }
    // Whether the file at plan position p (from 0) is this share's.
    bool takes(size_t position) const { return position % count == number - 1; }
    // How many of this share's files come before plan position p.
    size_t taken_before(size_t position) const { return (position + count - number) / count; }
};

// Reads the value of /shard= ("K/N", decimal, 1 <= K <= N <= kMaxShardCount). Empty when it is
// one (stored in shard); otherwise what is wrong with it, to be shown to the user.
std::string read_shard(std::string_view value, Shard& shard);

}  // namespace trelvane::app
