#include "pdfout/pdf_page.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "pdfout/tiff_handle.h"
#include "platform/file_io.h"

namespace trelvane::pdfout {
namespace {

const char* file_name(TIFF* tiff) {
    return TIFFFileName(tiff);
}

void report(PdfWriterState& state, const char* format, auto... args) {
    state.sink->error(kWriterModule, format, args...);
    state.error = true;
}

template <typename... Args>
void warn(PdfWriterState& state, const char* format, Args... args) {
    state.sink->warning(kWriterModule, format, args...);
}

// Size of the file behind the handle; a strip can never be longer than that.
uint64_t input_file_size(TIFF* input) {
    const std::optional<platform::DescriptorStatus> status =
        platform::descriptor_status(TIFFFileno(input));
    return status ? status->size : 0;
}

bool check_photometric(PdfWriterState& state, TIFF* input) {
    PageImage& im = state.image;
    if (!TIFFGetField(input, TIFFTAG_PHOTOMETRIC, &im.photometric)) {
        report(state, "No support for %s with no photometric interpretation tag", file_name(input));
        return false;
    }
    switch (im.photometric) {
        case PHOTOMETRIC_MINISWHITE:
        case PHOTOMETRIC_MINISBLACK:
            im.colour_space = im.bits_per_sample == 1 ? kColourBilevel : kColourGray;
            if (im.photometric == PHOTOMETRIC_MINISWHITE)
                im.invert_decode = !im.invert_decode;
            // Extra samples would need a conversion this writer does not do.
            if (im.samples_per_pixel != 1) {
                report(state, "No support for %s with %u samples per pixel", file_name(input),
                       unsigned{im.samples_per_pixel});
                return false;
            }
            return true;
        case PHOTOMETRIC_LOGL:
        case PHOTOMETRIC_LOGLUV:
            report(state, "No support for %s with photometric interpretation LogL/LogLuv",
                   file_name(input));
            return false;
        default:
            // Colour pages never come from a fax.
            report(state, "No support for %s with photometric interpretation %u", file_name(input),
                   unsigned{im.photometric});
            return false;
    }
}

std::vector<uint8_t> read_raw_strip(PdfWriterState& state, TIFF* input) {
    PageImage& im = state.image;
    uint64_t* counts = nullptr;
    if (!TIFFGetField(input, TIFFTAG_STRIPBYTECOUNTS, &counts) || counts == nullptr) {
        report(state, "Can't read strip 0 of %s", file_name(input));
        return {};
    }
    im.data_size = counts[0];
    if (im.data_size > kMaxPageBufferBytes || im.data_size > input_file_size(input)) {
        report(state, "Can't allocate %llu bytes of memory for t2p_readwrite_pdf_image, %s",
               static_cast<unsigned long long>(im.data_size), file_name(input));
        return {};
    }
    std::vector<uint8_t> buffer(static_cast<size_t>(im.data_size));
    if (!buffer.empty() &&
        TIFFReadRawStrip(input, 0, buffer.data(), static_cast<tmsize_t>(buffer.size())) !=
            static_cast<tmsize_t>(buffer.size())) {
        report(state, "Can't read strip 0 of %s", file_name(input));
        return {};
    }
    // The PDF always holds the code first bit in the most significant bit.
    if (im.fill_order == FILLORDER_LSB2MSB && !buffer.empty()) {
        TIFFReverseBits(buffer.data(), static_cast<tmsize_t>(buffer.size()));
    }
    return buffer;
}

// The whole page decoded, strip after strip. A strip that fails to decode keeps its part of
// the raster white (zero), and the page is still written.
std::vector<uint8_t> read_decoded_page(PdfWriterState& state, TIFF* input) {
    PageImage& im = state.image;
    const tmsize_t scanline = TIFFScanlineSize(input);
    const uint64_t size = static_cast<uint64_t>(scanline > 0 ? scanline : 0) * im.length;
    if (scanline <= 0 || size == 0 || size > kMaxPageBufferBytes) {
        report(state, "Can't allocate %llu bytes of memory for t2p_readwrite_pdf_image, %s",
               static_cast<unsigned long long>(size), file_name(input));
        return {};
    }
    im.data_size = size;
    std::vector<uint8_t> raster(static_cast<size_t>(size), 0);
    const tmsize_t strip_size = TIFFStripSize(input);
    const tstrip_t strips = TIFFNumberOfStrips(input);
    uint64_t offset = 0;
    for (tstrip_t s = 0; s < strips && offset < size && strip_size > 0; ++s) {
        const uint64_t room = std::min<uint64_t>(static_cast<uint64_t>(strip_size), size - offset);
        const tmsize_t got =
            TIFFReadEncodedStrip(input, s, raster.data() + offset, static_cast<tmsize_t>(room));
        offset += got < 0 ? room : static_cast<uint64_t>(got);
    }
    return raster;
}

// Encodes the raster as one Group 4 strip with the library's encoder.
std::vector<uint8_t> encode_group4(PdfWriterState& state, const std::vector<uint8_t>& raster,
                                   const char* input_name) {
    const PageImage& im = state.image;
    MemoryTiff encoder(*state.sink);
    TIFF* t = encoder.tiff();
    std::vector<uint8_t> coded;
    bool ok = t != nullptr;
    ok = ok && TIFFSetField(t, TIFFTAG_PHOTOMETRIC, im.photometric);
    ok = ok && TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, im.bits_per_sample);
    ok = ok && TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, im.samples_per_pixel);
    ok = ok && TIFFSetField(t, TIFFTAG_IMAGEWIDTH, im.width);
    ok = ok && TIFFSetField(t, TIFFTAG_IMAGELENGTH, im.length);
    ok = ok && TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, im.length);
    ok = ok && TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    ok = ok && TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
    ok = ok && TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    std::vector<uint8_t> scratch = raster;  // the encoder may work in its input buffer
    ok = ok &&
         TIFFWriteEncodedStrip(t, 0, scratch.data(), static_cast<tmsize_t>(scratch.size())) >= 0;
    uint64_t* offsets = nullptr;
    uint64_t* counts = nullptr;
    ok = ok && TIFFGetField(t, TIFFTAG_STRIPOFFSETS, &offsets) && offsets &&
         TIFFGetField(t, TIFFTAG_STRIPBYTECOUNTS, &counts) && counts &&
         offsets[0] + counts[0] <= encoder.bytes().size();
    if (!ok) {
        report(state, "Error writing encoded strip to output PDF %s", input_name);
        return {};
    }
    const auto begin = encoder.bytes().begin() + static_cast<std::ptrdiff_t>(offsets[0]);
    coded.assign(begin, begin + static_cast<std::ptrdiff_t>(counts[0]));
    return coded;
}

}  // namespace

void orient_image_box(ImageBox& box, uint16_t orientation) {
    if (box.x1 > box.x2)
        std::swap(box.x1, box.x2);
    if (box.y1 > box.y2)
        std::swap(box.y1, box.y2);
    const float w = box.x2 - box.x1;
    const float h = box.y2 - box.y1;
    const float x1 = box.x1, y1 = box.y1;
    float a = w, b = 0, c = 0, d = h, e = x1, f = y1;
    switch (orientation) {
        case 2:
            a = -w;
            e = x1 + w;
            break;
        case 3:
            a = -w;
            d = -h;
            e = x1 + w;
            f = y1 + h;
            break;
        case 4:
            d = -h;
            f = y1 + h;
            break;
        case 5:
            a = 0;
            b = -w;
            c = -h;
            d = 0;
            e = x1 + h;
            f = y1 + w;
            break;
        case 6:
            a = 0;
            b = -w;
            c = h;
            d = 0;
            f = y1 + w;
            break;
        case 7:
            a = 0;
            b = w;
            c = h;
            d = 0;
            break;
        case 8:
            a = 0;
            b = w;
            c = -h;
            d = 0;
            e = x1 + h;
            break;
        default:
            break;
    }
    float* m = box.matrix;
    m[0] = a;
    m[1] = b;
    m[2] = 0;
    m[3] = c;
    m[4] = d;
    m[5] = 0;
    m[6] = e;
    m[7] = f;
    m[8] = 1;
}

void compose_page(PdfWriterState& state) {
    PageImage& im = state.image;
    im.pdf_x_resolution = state.override_resolution ? state.default_x_resolution : im.x_resolution;
    im.pdf_y_resolution = state.override_resolution ? state.default_y_resolution : im.y_resolution;
    if (im.pdf_x_resolution == 0)
        im.pdf_x_resolution = state.default_x_resolution;
    if (im.pdf_y_resolution == 0)
        im.pdf_y_resolution = state.default_y_resolution;
    im.image_width = static_cast<float>(static_cast<long double>(im.width) * 72.0L /
                                        static_cast<long double>(im.pdf_x_resolution));
    im.image_length = static_cast<float>(static_cast<long double>(im.length) * 72.0L /
                                         static_cast<long double>(im.pdf_y_resolution));
    if (state.override_page_size) {
        im.page_width = state.default_page_width;
        im.page_length = state.default_page_length;
    } else {
        im.page_width = im.image_width;
        im.page_length = im.image_length;
    }
    im.media_box[0] = 0;
    im.media_box[1] = 0;
    im.media_box[2] = im.page_width;
    im.media_box[3] = im.page_length;
    im.image_box = ImageBox{};
    im.image_box.x2 = im.image_width;
    im.image_box.y2 = im.image_length;
    if (im.orientation > 4)
        std::swap(im.media_box[2], im.media_box[3]);
    orient_image_box(im.image_box, im.orientation);
}

void read_page_image(PdfWriterState& state, TIFF* input) {
    state.image = PageImage{};
    PageImage& im = state.image;
    im.transcode = TranscodeMode::kReencode;
    im.sample_conversions = 0;
    im.invert_decode = state.invert_option;
    const PageEntry& page = state.pages[state.current_page];
    if (!go_to_directory(input, page.directory)) {
        report(state, "Can't set directory %u of input file %s", unsigned{page.directory},
               file_name(input));
        return;
    }
    if (!TIFFGetField(input, TIFFTAG_IMAGEWIDTH, &im.width) || im.width == 0) {
        return report(state, "No support for %s with zero width", file_name(input));
    }
    if (!TIFFGetField(input, TIFFTAG_IMAGELENGTH, &im.length) || im.length == 0) {
        return report(state, "No support for %s with zero length", file_name(input));
    }
    if (!TIFFGetField(input, TIFFTAG_COMPRESSION, &im.compression)) {
        return report(state, "No support for %s with no compression tag", file_name(input));
    }
    if (!TIFFIsCODECConfigured(im.compression)) {
        return report(state, "No support for %s with compression type %u:  not configured",
                      file_name(input), unsigned{im.compression});
    }
    TIFFGetFieldDefaulted(input, TIFFTAG_BITSPERSAMPLE, &im.bits_per_sample);
    switch (im.bits_per_sample) {
        case 0:
            warn(state, "Image %s has 0 bits per sample, assuming 1", file_name(input));
            im.bits_per_sample = 1;
            break;
        case 1:
        case 2:
        case 4:
        case 8:
            break;
        default:
            return report(state, "No support for %s with %u bits per sample", file_name(input),
                          unsigned{im.bits_per_sample});
    }
    TIFFGetFieldDefaulted(input, TIFFTAG_SAMPLESPERPIXEL, &im.samples_per_pixel);
    if (im.samples_per_pixel > 4) {
        return report(state, "No support for %s with %u samples per pixel", file_name(input),
                      unsigned{im.samples_per_pixel});
    }
    if (im.samples_per_pixel == 0) {
        warn(state, "Image %s has 0 samples per pixel, assuming 1", file_name(input));
        im.samples_per_pixel = 1;
    }
    uint16_t sample_format = 0;
    if (TIFFGetField(input, TIFFTAG_SAMPLEFORMAT, &sample_format) && sample_format != 0 &&
        sample_format != SAMPLEFORMAT_UINT && sample_format != SAMPLEFORMAT_VOID) {
        return report(state, "No support for %s with sample format %u", file_name(input),
                      unsigned{sample_format});
    }
    TIFFGetFieldDefaulted(input, TIFFTAG_FILLORDER, &im.fill_order);
    if (!check_photometric(state, input))
        return;
    if (TIFFGetField(input, TIFFTAG_PLANARCONFIG, &im.planar_config)) {
        if (im.planar_config == 0) {
            warn(state, "Image %s has planar configuration 0, assuming 1", file_name(input));
            im.planar_config = PLANARCONFIG_CONTIG;
        } else if (im.planar_config == PLANARCONFIG_SEPARATE && im.bits_per_sample != 8) {
            return report(state,
                          "No support for %s with separated planar configuration and %u bits "
                          "per sample",
                          file_name(input), unsigned{im.bits_per_sample});
        } else if (im.planar_config != PLANARCONFIG_CONTIG &&
                   im.planar_config != PLANARCONFIG_SEPARATE) {
            return report(state, "No support for %s with planar configuration %u", file_name(input),
                          unsigned{im.planar_config});
        }
    }
    TIFFGetFieldDefaulted(input, TIFFTAG_ORIENTATION, &im.orientation);
    if (im.orientation > 8) {
        warn(state, "Image %s has orientation %u, assuming 0", file_name(input),
             unsigned{im.orientation});
        im.orientation = 0;
    }
    if (!TIFFGetField(input, TIFFTAG_XRESOLUTION, &im.x_resolution))
        im.x_resolution = 0;
    if (!TIFFGetField(input, TIFFTAG_YRESOLUTION, &im.y_resolution))
        im.y_resolution = 0;
    TIFFGetFieldDefaulted(input, TIFFTAG_RESOLUTIONUNIT, &im.resolution_unit);
    if (im.resolution_unit == RESUNIT_CENTIMETER) {
        im.x_resolution *= 2.54F;
        im.y_resolution *= 2.54F;
    }
    // Tiles, transfer functions and ICC profiles never come from a fax.
    if (TIFFIsTiled(input)) {
        return report(state, "No support for %s with tiled layout", file_name(input));
    }
    if (page.has_transfer_function) {
        return report(state, "No support for %s with a transfer function", file_name(input));
    }
    uint32_t icc_length = 0;
    void* icc = nullptr;
    if (TIFFGetField(input, TIFFTAG_ICCPROFILE, &icc_length, &icc)) {
        return report(state, "No support for %s with an ICC profile", file_name(input));
    }
    compose_page(state);
    if (!state.passthrough_forbidden && im.compression == COMPRESSION_CCITTFAX4 &&
        TIFFNumberOfStrips(input) == 1) {
        im.transcode = TranscodeMode::kPassthrough;
        im.compression_out = PdfCompression::kG4;
    } else {
        im.compression_out = state.default_compression;
    }
    if (im.bits_per_sample == 1 && im.samples_per_pixel == 1) {
        im.compression_out = PdfCompression::kG4;
    }
}

size_t write_page_dictionary(const PdfWriterState& state, PdfOutput& out, uint32_t page_object,
                             std::string_view font_resources) {
    const PageImage& im = state.image;
    const PageEntry& page = state.pages[state.current_page];
    size_t n = 0;
    n += out.format("<<\r/Type /Page \r/Parent %lu 0 R \r",
                    static_cast<unsigned long>(state.pages_object));
    n += out.format("/MediaBox [%.4f %.4f %.4f %.4f] \r", double{im.media_box[0]},
                    double{im.media_box[1]}, double{im.media_box[2]}, double{im.media_box[3]});
    if (im.user_unit > 1)
        n += out.format("/UserUnit %lu \r", static_cast<unsigned long>(im.user_unit));
    n += out.format("/Contents %lu 0 R \r", static_cast<unsigned long>(page_object + 1));
    n += out.write("/Resources << \r");
    n += out.write("/XObject <<\r");
    n += out.format("/Im%u %lu 0 R ", unsigned{state.current_page} + 1,
                    static_cast<unsigned long>(page_object + 3 + page.extra_objects));
    n += out.write(">>\r");
    n += out.write(font_resources);
    n += out.write("/ProcSet [ ");
    if (im.colour_space == kColourBilevel || im.colour_space == kColourGray) {
        n += out.write("/ImageB ");
    } else {
        n += out.write("/ImageC ");
        if (im.colour_space & kColourPalette)
            n += out.write("/ImageI ");
    }
    if (!font_resources.empty())
        n += out.write("/Text ");
    n += out.write("]\r>>\r>>\r");
    return n;
}

size_t write_page_content(const PdfWriterState& state, PdfOutput& out) {
    const float* m = state.image.image_box.matrix;
    return out.format("q %s %.4f %.4f %.4f %.4f %.4f %.4f cm /Im%d Do Q\r", "", double{m[0]},
                      double{m[1]}, double{m[3]}, double{m[4]}, double{m[6]}, double{m[7]},
                      state.current_page + 1);
}

size_t write_image_dictionary(const PdfWriterState& state, PdfOutput& out, uint32_t tile) {
    const PageImage& im = state.image;
    const PageEntry& page = state.pages[state.current_page];
    // Tiled pages are refused before they get here, so a page has one image.
    const uint32_t image_object =
        page.object_number + 3 + page.extra_objects + 2 * tile - (tile > 0 ? 2 : 0);
    size_t n = 0;
    n += out.format("/Length %lu 0 R \r", static_cast<unsigned long>(image_object + 1));
    n += out.write("/Type /XObject \r/Subtype /Image \r");
    n += out.format("/Name /Im%u", unsigned{state.current_page} + 1);
    if (tile != 0)
        n += out.format("_%lu", static_cast<unsigned long>(tile));
    n += out.format("\r/Width %lu\r/Height %lu\r/BitsPerComponent %u\r/ColorSpace ",
                    static_cast<unsigned long>(im.width), static_cast<unsigned long>(im.length),
                    unsigned{im.bits_per_sample});
    n += out.write("/DeviceGray \r");
    const bool g4_bilevel =
        im.colour_space == kColourBilevel && im.compression_out == PdfCompression::kG4;
    if (im.invert_decode && !g4_bilevel) {
        n += out.write("/Decode [ ");
        for (uint16_t s = 0; s < im.samples_per_pixel; ++s)
            n += out.write("1 0 ");
        n += out.write("]\r");
    }
    if (im.compression_out == PdfCompression::kG4) {
        n += out.write("/Filter /CCITTFaxDecode /DecodeParms << /K -1 ");
        n += out.format("/Columns %lu /Rows %lu", static_cast<unsigned long>(im.width),
                        static_cast<unsigned long>(im.length));
        if (!im.invert_decode)
            n += out.write(" /BlackIs1 true ");
        n += out.write(">>\r");
    }
    return n;
}

size_t write_image_data(PdfWriterState& state, TIFF* input, PdfOutput& out) {
    PageImage& im = state.image;
    std::vector<uint8_t> data;
    if (im.transcode == TranscodeMode::kPassthrough) {
        data = read_raw_strip(state, input);
    } else {
        std::vector<uint8_t> raster = read_decoded_page(state, input);
        if (state.error)
            return 0;
        if (im.compression_out == PdfCompression::kG4) {
            data = encode_group4(state, raster, file_name(input));
        } else {
            data = std::move(raster);
        }
    }
    if (state.error)
        return 0;
    return out.write(data.data(), data.size());
}

}  // namespace trelvane::pdfout
