// Owned stdio file handles. The reader's input and the intermediate TIFF files are plain
// binary files; stdio is all they need and keeps them portable.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "platform/file_io.h"

namespace trelvane::faxread {

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f)
            std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

inline FilePtr open_stdio_file(const std::string& path, const char* mode) {
    return FilePtr(platform::open_stdio(path, mode));
}

// Closes the file and tells whether everything buffered reached it.
inline bool close_stdio_file(FilePtr& file) {
    if (!file)
        return true;
    return std::fclose(file.release()) == 0;
}

}  // namespace trelvane::faxread
