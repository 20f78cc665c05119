// The whole conversion of one file, as a folder run does it, on arbitrary bytes named as a
// WinFax file. The work files live in a private folder. Checks the report and the outcome:
// exactly one report line, a PDF only on success and then a complete one, nothing else left
// in the destination folder.
#include <dirent.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include <tiffio.h>

#include "app/batch_job.h"
#include "app/pipeline.h"
#include "app/process_paths.h"
#include "fuzz_common.h"

using namespace trelvane;

namespace {

std::string source_path;
std::string destination_folder;
std::string destination_path;

std::string read_whole(const std::string& path, bool& found) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    found = file != nullptr;
    std::string text;
    if (!file)
        return text;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0)
        text.append(buffer, got);
    return text;
}

// Names in the destination folder other than the expected PDF.
int stray_files() {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(destination_folder.c_str()), &closedir);
    if (!dir)
        return 0;
    int strays = 0;
    while (const dirent* entry = readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && name != "input.pdf")
            ++strays;
    }
    return strays;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    // The work files go to the temporary folder; make it a private one.
    const std::string& scratch = fuzz::scratch_folder();
    setenv("TMPDIR", scratch.c_str(), 1);
    if (!app::init_process_paths())
        fuzz::fail("cannot create the work files");
    app::set_startup_settings(app::global_settings(), app::process_paths());
    source_path = scratch + "/input.fxd";
    destination_folder = scratch + "/out";
    destination_path = destination_folder + "/input.pdf";
    std::atexit(app::remove_work_files);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (!fuzz::write_bytes(source_path, bytes, size))
        fuzz::fail("cannot write the input file");

    app::BatchJob job;
    app::reset_batch_job(job);
    const int code = app::convert_fax_file(job, source_path, destination_path);

    fuzz::check(code == app::kConverted || code == app::kNotFax || code == app::kFaxError ||
                    code == app::kCopyStageFailed || code == app::kPdfWriterFailed,
                "unexpected result code");
    const size_t end = job.log_text.find("\r\n");
    fuzz::check(end != std::string::npos && end + 2 == job.log_text.size(),
                "the report is not exactly one line");
    fuzz::check((code == app::kConverted) == (job.log_text.find("Success !") != std::string::npos),
                "the report line does not match the result");

    bool found = false;
    const std::string pdf = read_whole(destination_path, found);
    if (code == app::kConverted) {
        fuzz::check(found, "success without a PDF");
        fuzz::check(pdf.rfind("%PDF-", 0) == 0, "the PDF lacks its header");
        fuzz::check(pdf.find("%%EOF", pdf.size() > 32 ? pdf.size() - 32 : 0) != std::string::npos,
                    "the PDF lacks its end");
    } else {
        fuzz::check(!found, "a failed conversion left a PDF");
    }
    fuzz::check(stray_files() == 0, "files left beside the PDF");
    std::remove(destination_path.c_str());
    return 0;
}
