// Results of the layer's two stages. A stage's failure codes never share a value with the other
// stage's, so a result passed on without its stage still says what failed; the reason the
// system gave is in the DiagnosticSink (system_error()), never left in errno.
#pragma once

namespace trelvane::pdfout {

// copy_tiff.
inline constexpr int kCopyOk = 0;
inline constexpr int kCopyDirectoryFailed = 1;  // a page could not be copied or written
inline constexpr int kCopyOutputFailed = -2;
inline constexpr int kCopyInputFailed = -3;

// convert_tiff_to_pdf. Any failure: the sink's messages say which. Not 1, which the copy stage
// gives for a page.
inline constexpr int kPdfOk = 0;
inline constexpr int kPdfFailed = -1;
// The finished PDF did not pass the caller's check, so it was not put in place.
inline constexpr int kPdfNotVerified = -4;

namespace detail {

inline constexpr int kAllFailures[] = {kCopyDirectoryFailed, kCopyOutputFailed, kCopyInputFailed,
                                       kPdfFailed, kPdfNotVerified};

constexpr bool failures_distinct() {
    for (const int a : kAllFailures) {
        int same = 0;
        for (const int b : kAllFailures)
            same += a == b ? 1 : 0;
        if (a == kCopyOk || same != 1)
            return false;
    }
    return true;
}

}  // namespace detail

static_assert(kCopyOk == kPdfOk && detail::failures_distinct(),
              "each failure of the PDF output layer must have its own value");

}  // namespace trelvane::pdfout
