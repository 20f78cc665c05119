#include "fuzz_common.h"

#include <unistd.h>

#include <filesystem>
#include <memory>

namespace trelvane::fuzz {

namespace {

void remove_scratch_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(scratch_folder(), ignored);
}

}  // namespace

const std::string& scratch_folder() {
    static const std::string folder = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = (tmp != nullptr && tmp[0] == '/') ? tmp : "/tmp";
        pattern += "/trelvane-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr)
            fail("cannot create the scratch folder");
        return pattern;
    }();
    // Registered once the name exists, so it runs before the name is destroyed at exit. A run
    // that ends normally leaves nothing behind; after a finding the folder stays.
    [[maybe_unused]] static const bool cleanup = std::atexit(remove_scratch_folder) == 0;
    return folder;
}

bool write_bytes(const std::string& path, const uint8_t* data, size_t size) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file)
        return false;
    if (size > 0 && std::fwrite(data, 1, size, file.get()) != size)
        return false;
    return std::fflush(file.get()) == 0;
}

void fail(const char* what) {
    std::fprintf(stderr, "invariant failed: %s\n", what);
    std::abort();
}

}  // namespace trelvane::fuzz
