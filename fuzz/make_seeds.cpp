// Writes the fuzzers' seed corpora from the test builders, so that no binary seed is kept in
// the repository: make_seeds OUTPUT_FOLDER [SAMPLES_FOLDER]. Makes OUTPUT_FOLDER/group3,
// group4, winfax, convert (the samples, when given, go to these two) and codec (the inputs of
// the codec's differential targets).
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "codec_input.h"
#include "decoder_input.h"
#include "support/bitmap.h"
#include "support/ccitt.h"
#include "support/libtiff_codec.h"
#include "support/winfax_builder.h"

using namespace trelvane;
using testsupport::Coding;

namespace {

int written = 0;

bool save(const std::string& folder, const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = folder + "/" + name;
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file || (!bytes.empty() &&
                  std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())) {
        std::fprintf(stderr, "make_seeds: cannot write %s\n", path.c_str());
        return false;
    }
    ++written;
    return true;
}

std::vector<uint8_t> decoder_seed(const testsupport::CodedPage& page, uint8_t flags,
                                  uint8_t mode = 0, uint8_t marker_count = 3) {
    std::vector<uint8_t> bytes(fuzz::kDecoderHeaderSize, 0);
    bytes[0] = static_cast<uint8_t>(page.width);
    bytes[1] = static_cast<uint8_t>(page.width >> 8);
    bytes[2] = static_cast<uint8_t>(page.height);
    bytes[3] = static_cast<uint8_t>(page.height >> 8);
    bytes[4] = flags;
    bytes[5] = mode;
    bytes[6] = marker_count;
    bytes.insert(bytes.end(), page.data.begin(), page.data.end());
    return bytes;
}

struct Shape {
    const char* pattern;
    int width;
    int height;
};

// Small pages: the fuzzers work best on short inputs.
const Shape kShapes[] = {
    {"white", 1728, 8},       {"black", 1728, 4},    {"checker", 1728, 16}, {"stripes", 64, 12},
    {"startblack", 1728, 10}, {"longruns", 4000, 4}, {"text3", 1728, 40},   {"text9", 2432, 24},
    {"checker", 17, 9},       {"white", 1, 3},       {"text5", 2048, 20},
};

bool decoder_seeds(const std::string& out) {
    const std::string g3 = out + "/group3";
    const std::string g4 = out + "/group4";
    std::filesystem::create_directories(g3);
    std::filesystem::create_directories(g4);
    int n = 0;
    for (const Shape& s : kShapes) {
        const testsupport::Bitmap page = testsupport::make_pattern(s.pattern, s.width, s.height);
        for (int fill_order : {1, 2}) {
            const uint8_t flags = fill_order == 1 ? fuzz::kFlagMsbFirst : 0;
            const std::string name =
                std::to_string(n) + "-" + s.pattern + "-fo" + std::to_string(fill_order);
            bool ok = save(g3, name,
                           decoder_seed(testsupport::encode_page(page, Coding::Group3OneDimensional,
                                                                 fill_order),
                                        flags));
            ok = ok && save(g3, name + "-nofill",
                            decoder_seed(testsupport::encode_page(
                                             page, Coding::Group3OneDimensional, fill_order, false),
                                         flags | fuzz::kFlagInvert));
            ok = ok && save(g4, name,
                            decoder_seed(testsupport::encode_page(page, Coding::Group4, fill_order),
                                         flags));
            if (!ok)
                return false;
        }
        ++n;
    }
    // Group 4 with damage and the other resynchronisation settings.
    testsupport::CodedPage page =
        testsupport::encode_page(testsupport::make_pattern("text4", 1728, 30), Coding::Group4, 2);
    page.data[page.data.size() / 3] ^= 0x5A;
    std::vector<uint8_t> marker(4, 0xFF);
    page.data.insert(page.data.begin() + static_cast<long>(page.data.size() / 2), marker.begin(),
                     marker.end());
    return save(g4, "damaged-marker", decoder_seed(page, 0)) &&
           save(g4, "damaged-resume", decoder_seed(page, fuzz::kFlagResumeInPlace)) &&
           save(g4, "damaged-mode2", decoder_seed(page, 0, 2, 1));
}

testsupport::WinFaxPage winfax_page(const char* pattern, int width, int height, bool group4,
                                    uint8_t resolution, const std::string& title) {
    testsupport::WinFaxPage p;
    const testsupport::CodedPage coded =
        testsupport::encode_page(testsupport::make_pattern(pattern, width, height),
                                 group4 ? Coding::Group4 : Coding::Group3OneDimensional, 2);
    p.data = coded.data;
    p.width = static_cast<uint16_t>(width);
    p.length = static_cast<uint16_t>(height);
    p.coding = group4 ? 1 : 0;
    p.resolution = resolution;
    p.title = title;
    return p;
}

bool winfax_seeds(const std::string& out, const std::string& samples) {
    using Pages = std::vector<testsupport::WinFaxPage>;
    std::vector<std::pair<std::string, Pages>> files;
    files.push_back({"g3-one", {winfax_page("text1", 1728, 40, false, 0, "Invoice 17")}});
    files.push_back({"g4-one", {winfax_page("text2", 1728, 40, true, 1, "Order")}});
    files.push_back({"mixed-three",
                     {winfax_page("checker", 1728, 12, false, 1, "A"),
                      winfax_page("text6", 2048, 20, true, 2, ""),
                      winfax_page("startblack", 2432, 8, false, 0, "C")}});
    {
        Pages pages{winfax_page("white", 1728, 10, true, 0, "")};
        pages[0].width = 0;
        pages[0].length = 0;
        files.push_back({"default-size", pages});
    }
    {
        Pages pages{winfax_page("text7", 1728, 20, false, 0, std::string(119, 'T'))};
        pages[0].title_over_fields = true;
        files.push_back({"long-title", pages});
    }
    {
        Pages pages{winfax_page("text8", 1728, 20, true, 0, "x"),
                    winfax_page("text9", 1728, 20, true, 0, "y")};
        pages[1].t89 = 0;  // points back at the first page
        pages[1].t105 = 0;
        files.push_back({"loop", pages});
    }
    {
        Pages pages{winfax_page("text1", 1728, 20, false, 0, "gap")};
        pages[0].gap = 17;
        pages[0].declared_length = 1 << 30;
        files.push_back({"huge-length", pages});
    }

    for (const char* folder : {"winfax", "convert"}) {
        const std::string dir = out + "/" + folder;
        std::filesystem::create_directories(dir);
        for (const auto& [name, pages] : files) {
            if (!save(dir, name, testsupport::build_winfax(pages)))
                return false;
        }
        if (samples.empty())
            continue;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(samples, ec)) {
            if (entry.is_regular_file() && entry.path().extension().string().rfind(".fx", 0) == 0)
                std::filesystem::copy_file(entry.path(),
                                           dir + "/" + entry.path().filename().string(),
                                           std::filesystem::copy_options::overwrite_existing);
        }
    }
    return true;
}

std::vector<uint8_t> codec_seed(int width, int height, uint8_t flags,
                                const std::vector<uint8_t>& payload) {
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(width - 1),
                                  static_cast<uint8_t>((width - 1) >> 8),
                                  static_cast<uint8_t>(height - 1), flags};
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
}

// Pages as pixels and as run lengths (lines of the most runs, runs past 2560), and pages
// libtiff coded, clean and damaged, in both codings and fill orders.
bool codec_seeds(const std::string& out) {
    const std::string dir = out + "/codec";
    std::filesystem::create_directories(dir);
    int n = 0;
    auto add = [&](const std::vector<uint8_t>& bytes) {
        return save(dir, "codec-" + std::to_string(n++), bytes);
    };
    const Shape shapes[] = {{"text3", 1728, 24},   {"checker", 64, 8},  {"startblack", 1728, 6},
                            {"longruns", 4000, 3}, {"text9", 2432, 12}, {"white", 1, 2}};
    bool ok = true;
    for (const Shape& s : shapes) {
        const testsupport::Bitmap page = testsupport::make_pattern(s.pattern, s.width, s.height);
        ok = ok && add(codec_seed(s.width, s.height, fuzz::kCodecPage, page.bits));
        ok = ok && add(codec_seed(s.width, s.height, fuzz::kCodecPage | fuzz::kCodecGroup4 | 0x30,
                                  page.bits));
        for (const bool g4 : {false, true}) {
            for (const int fill : {1, 2}) {
                const Coding coding = g4 ? Coding::Group4 : Coding::Group3OneDimensional;
                const uint8_t flags = static_cast<uint8_t>((g4 ? fuzz::kCodecGroup4 : 0) |
                                                           (fill == 1 ? fuzz::kCodecMsbFirst : 0));
                ok = ok && add(codec_seed(s.width, s.height, flags,
                                          testsupport::libtiff_encode(page, coding, fill)));
            }
        }
    }
    // Run lengths: a line that starts black and changes colour at every pixel, then long runs.
    std::vector<uint8_t> runs = {0};
    runs.insert(runs.end(), 1728, 1);
    runs.insert(runs.end(), {255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 9, 3, 0, 0});
    for (const uint8_t g4 : {uint8_t{0}, fuzz::kCodecGroup4}) {
        ok = ok && add(codec_seed(1728, 4, fuzz::kCodecPage | fuzz::kCodecRunLengths | g4, runs));
        ok = ok && add(codec_seed(2048, 3, fuzz::kCodecPage | fuzz::kCodecRunLengths | g4, runs));
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_seeds OUTPUT_FOLDER [SAMPLES_FOLDER]\n");
        return 2;
    }
    const std::string out = argv[1];
    const std::string samples = argc > 2 ? argv[2] : "";
    if (!decoder_seeds(out) || !winfax_seeds(out, samples) || !codec_seeds(out))
        return 1;
    std::printf("make_seeds: %d seeds in %s\n", written, out.c_str());
    return 0;
}
