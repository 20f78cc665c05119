#include "sample_fax.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/batch_job.h"
#include "app/process_paths.h"
#include "support/bitmap.h"
#include "support/ccitt.h"
#include "support/winfax_builder.h"

namespace trelvane::guitest {

bool write_sample_fax(const std::string& path, uint32_t seed, int lines) {
    const testsupport::Bitmap page = testsupport::text_like(1728, lines, seed);
    const testsupport::CodedPage coded =
        testsupport::encode_page(page, testsupport::Coding::Group4, 2);
    testsupport::WinFaxPage fax_page;
    fax_page.data = coded.data;
    fax_page.width = 1728;
    fax_page.length = static_cast<uint16_t>(lines);
    fax_page.coding = 1;
    fax_page.resolution = 1;
    fax_page.title = "Test fax " + std::to_string(seed);
    return testsupport::write_winfax(path, {fax_page});
}

void prepare_process_for_conversions() {
    static const bool prepared = [] {
        const bool ok = app::init_process_paths();
        app::set_startup_settings(app::global_settings(), app::process_paths());
        std::atexit([] { app::remove_work_files(); });
        return ok;
    }();
    ASSERT_TRUE(prepared) << "the work files could not be created";
}

}  // namespace trelvane::guitest
