// Small helpers the fuzz targets share: a private scratch folder per process and whole-file
// writes, so that targets which read files see exactly the bytes they were given.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace trelvane::fuzz {

// A folder private to this process below $TMPDIR (or /tmp), made on first use and removed
// with everything in it when the process exits normally.
const std::string& scratch_folder();

// Replaces path's content with the bytes. False when the file cannot be written whole.
bool write_bytes(const std::string& path, const uint8_t* data, size_t size);

// Stops the run with a message when an invariant fails, so libFuzzer records the input.
[[noreturn]] void fail(const char* what);

inline void check(bool ok, const char* what) {
    if (!ok)
        fail(what);
}

}  // namespace trelvane::fuzz
