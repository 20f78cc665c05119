// Runs the independent PDF tools (qpdf, Ghostscript, mutool, poppler) on PDFs the tests make,
// so that the output is judged by readers we did not write.
#pragma once

#include <string>
#include <vector>

#include "support/bitmap.h"

namespace trelvane::testsupport {

// True when the program can be found on PATH.
bool tool_available(const std::string& name);

struct ToolRun {
    int exit_code = -1;  // -1 when the program could not be run
    std::string output;  // standard output and standard error together
};

// Runs argv[0] with the arguments (no shell involved in quoting) and collects its output.
ToolRun run_tool(const std::vector<std::string>& argv);

// `qpdf --check FILE`: exit code 0 and no warnings means the file's structure is sound.
ToolRun qpdf_check(const std::string& pdf);

// Renders one page (counted from 1) to a bitmap (1 = black) at x_res by y_res pixels per inch
// with `gs -sDEVICE=pbmraw`. The run's output lands in *log when given.
bool render_page_gs(const std::string& pdf, int page, int x_res, int y_res, Bitmap& out,
                    std::string* log = nullptr);

// The same with `mutool draw` (one resolution for both directions, no antialiasing, no colour
// management: this build of mutool warns that it has none).
bool render_page_mutool(const std::string& pdf, int page, int res, Bitmap& out,
                        std::string* log = nullptr);

// Renders every page with poppler's pdftoppm (as gray, output discarded) and returns the run:
// poppler smooths images, so it only has to render without complaint.
ToolRun render_poppler(const std::string& pdf, int res = 72);

}  // namespace trelvane::testsupport

// Skips the current test when a tool is missing.
#define TRELVANE_REQUIRE_TOOL(name)                           \
    do {                                                      \
        if (!::trelvane::testsupport::tool_available(name)) { \
            GTEST_SKIP() << (name) << " is not installed";    \
        }                                                     \
    } while (0)
