#include "pdfout/tiff_copy.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <exception>
#include <optional>
#include <vector>

#include "pdfout/fax_page_copy.h"
#include "pdfout/tiff_handle.h"

namespace trelvane::pdfout {
namespace {

constexpr char kListSeparator = ',';

struct CommonTag {
    ttag_t tag;
    int count;
    TagType type;
};

// Copied for every directory, in this order. WhitePoint holds a pair of values, which the
// library hands over as an array.
constexpr CommonTag kCommonTags[] = {
    {TIFFTAG_SUBFILETYPE, 1, TagType::kLong},
    {TIFFTAG_THRESHHOLDING, 1, TagType::kShort},
    {TIFFTAG_DOCUMENTNAME, 1, TagType::kAscii},
    {TIFFTAG_IMAGEDESCRIPTION, 1, TagType::kAscii},
    {TIFFTAG_MAKE, 1, TagType::kAscii},
    {TIFFTAG_MODEL, 1, TagType::kAscii},
    {TIFFTAG_MINSAMPLEVALUE, 1, TagType::kShort},
    {TIFFTAG_MAXSAMPLEVALUE, 1, TagType::kShort},
    {TIFFTAG_XRESOLUTION, 1, TagType::kRational},
    {TIFFTAG_YRESOLUTION, 1, TagType::kRational},
    {TIFFTAG_PAGENAME, 1, TagType::kAscii},
    {TIFFTAG_XPOSITION, 1, TagType::kRational},
    {TIFFTAG_YPOSITION, 1, TagType::kRational},
    {TIFFTAG_RESOLUTIONUNIT, 1, TagType::kShort},
    {TIFFTAG_SOFTWARE, 1, TagType::kAscii},
    {TIFFTAG_DATETIME, 1, TagType::kAscii},
    {TIFFTAG_ARTIST, 1, TagType::kAscii},
    {TIFFTAG_HOSTCOMPUTER, 1, TagType::kAscii},
    {TIFFTAG_WHITEPOINT, -1, TagType::kRational},
    {TIFFTAG_PRIMARYCHROMATICITIES, -1, TagType::kRational},
    {TIFFTAG_HALFTONEHINTS, 2, TagType::kShort},
    {TIFFTAG_INKSET, 1, TagType::kShort},
    {TIFFTAG_DOTRANGE, 2, TagType::kShort},
    {TIFFTAG_TARGETPRINTER, 1, TagType::kAscii},
    {TIFFTAG_SAMPLEFORMAT, 1, TagType::kShort},
    {TIFFTAG_YCBCRCOEFFICIENTS, -1, TagType::kRational},
    {TIFFTAG_YCBCRSUBSAMPLING, 2, TagType::kShort},
    {TIFFTAG_YCBCRPOSITIONING, 1, TagType::kShort},
    {TIFFTAG_REFERENCEBLACKWHITE, -1, TagType::kRational},
    {TIFFTAG_EXTRASAMPLES, -1, TagType::kShort},
    {TIFFTAG_SMINSAMPLEVALUE, 1, TagType::kDouble},
    {TIFFTAG_SMAXSAMPLEVALUE, 1, TagType::kDouble},
    {TIFFTAG_STONITS, 1, TagType::kDouble},
};

// Asking the library for a tag it does not know for this directory (the fax tags of a page
// that is not CCITT coded, for example) would raise an error message; such a tag is absent.
bool tag_known(TIFF* tiff, ttag_t tag) {
    return TIFFFindField(tiff, tag, TIFF_ANY) != nullptr;
}

template <typename T>
bool get_value(TIFF* tiff, ttag_t tag, T& value) {
    return tag_known(tiff, tag) && TIFFGetField(tiff, tag, &value) == 1;
}

// One entry of a directory list: a directory number, or the current directory.
struct ListEntry {
    std::optional<tdir_t> directory;
};

struct DirectoryList {
    std::vector<ListEntry> entries;
    bool continue_after = false;  // a ',' at the end: every following directory too
};

// Parses the whole list up front, so that a malformed list fails before anything is copied.
bool parse_directory_list(const std::string& text, DirectoryList& list) {
    size_t at = 0;
    while (at < text.size()) {
        ListEntry entry;
        if (text[at] != kListSeparator) {
            const char* begin = text.c_str() + at;
            char* end = nullptr;
            errno = 0;
            const unsigned long long value = std::strtoull(begin, &end, 0);
            if (end == begin || errno == ERANGE || value > UINT32_MAX || *begin == '-' ||
                *begin == '+' || *begin == ' ') {
                return false;
            }
            entry.directory = static_cast<tdir_t>(value);
            at += static_cast<size_t>(end - begin);
        }
        list.entries.push_back(entry);
        if (at == text.size())
            return true;
        if (text[at] != kListSeparator)
            return false;
        ++at;
        if (at == text.size())
            list.continue_after = true;
    }
    return true;
}

// Moves the input to the list's next directory. False when it does not exist.
bool set_listed_directory(TIFF* in, const ListEntry& entry, DiagnosticSink& sink) {
    if (!entry.directory)
        return true;  // the current one
    if (TIFFSetDirectory(in, *entry.directory))
        return true;
    sink.error(TIFFFileName(in), "%s%c%u not found!", TIFFFileName(in), kListSeparator,
               static_cast<unsigned>(*entry.directory));
    return false;
}

int32_t apply_orientation(CopyContext& c) {
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(c.in, TIFFTAG_ORIENTATION, &orientation);
    switch (orientation) {
        case ORIENTATION_TOPLEFT:
        case ORIENTATION_BOTLEFT:
        case ORIENTATION_LEFTTOP:
        case ORIENTATION_LEFTBOT:
            return orientation;
        case ORIENTATION_TOPRIGHT:
        case ORIENTATION_RIGHTTOP:
            c.sink->warning(TIFFFileName(c.in), "using top-left orientation");
            return ORIENTATION_TOPLEFT;
        case ORIENTATION_BOTRIGHT:
        case ORIENTATION_RIGHTBOT:
            c.sink->warning(TIFFFileName(c.in), "using bottom-left orientation");
            return ORIENTATION_BOTLEFT;
        default:
            c.sink->warning(TIFFFileName(c.in), "using top-left orientation");
            return ORIENTATION_TOPLEFT;
    }
}

bool set_layout(CopyContext& c, uint32_t width, uint32_t length) {
    const int32_t tiled_output = c.defaults->tiled_output;
    c.output_tiled = tiled_output == -1 ? TIFFIsTiled(c.in) != 0 : tiled_output != 0;
    if (c.output_tiled) {
        uint32_t value = 0;
        if (c.work.tile_width == -1 && TIFFGetField(c.in, TIFFTAG_TILEWIDTH, &value)) {
            c.work.tile_width = value;
        }
        if (c.work.tile_length == -1 && TIFFGetField(c.in, TIFFTAG_TILELENGTH, &value)) {
            c.work.tile_length = value;
        }
        uint32_t tile_width = c.work.tile_width > 0 ? static_cast<uint32_t>(c.work.tile_width) : 0;
        uint32_t tile_length =
            c.work.tile_length > 0 ? static_cast<uint32_t>(c.work.tile_length) : 0;
        TIFFDefaultTileSize(c.out, &tile_width, &tile_length);
        c.work.tile_width = tile_width;
        c.work.tile_length = tile_length;
        return TIFFSetField(c.out, TIFFTAG_TILEWIDTH, tile_width) &&
               TIFFSetField(c.out, TIFFTAG_TILELENGTH, tile_length);
    }
    (void)width;
    if (c.work.rows_per_strip == 0) {
        uint32_t input_rows = 0;
        if (TIFFGetField(c.in, TIFFTAG_ROWSPERSTRIP, &input_rows)) {
            c.work.rows_per_strip = input_rows;
        } else {
            c.work.rows_per_strip = TIFFDefaultStripSize(c.out, 0);
        }
    } else if (c.work.rows_per_strip == -1) {
        c.work.rows_per_strip = length;
    }
    return TIFFSetField(c.out, TIFFTAG_ROWSPERSTRIP, static_cast<uint32_t>(c.work.rows_per_strip));
}

void copy_compression_tags(CopyContext& c) {
    switch (c.work.compression) {
        case COMPRESSION_CCITTFAX3:
        case COMPRESSION_CCITTFAX4: {
            if (c.work.compression == COMPRESSION_CCITTFAX3) {
                uint32_t options = 0;
                if (c.work.group3_options != -1) {
                    TIFFSetField(c.out, TIFFTAG_GROUP3OPTIONS,
                                 static_cast<uint32_t>(c.work.group3_options));
                } else if (get_value(c.in, TIFFTAG_GROUP3OPTIONS, options)) {
                    TIFFSetField(c.out, TIFFTAG_GROUP3OPTIONS, options);
                }
            } else {
                copy_tag(c.in, c.out, TIFFTAG_GROUP4OPTIONS, 1, TagType::kLong);
            }
            copy_tag(c.in, c.out, TIFFTAG_BADFAXLINES, 1, TagType::kLong);
            // The library keeps CleanFaxData as a SHORT.
            copy_tag(c.in, c.out, TIFFTAG_CLEANFAXDATA, 1, TagType::kShort);
            copy_tag(c.in, c.out, TIFFTAG_CONSECUTIVEBADFAXLINES, 1, TagType::kLong);
            copy_tag(c.in, c.out, TIFFTAG_FAXRECVPARAMS, 1, TagType::kLong);
            copy_tag(c.in, c.out, TIFFTAG_FAXRECVTIME, 1, TagType::kLong);
            copy_tag(c.in, c.out, TIFFTAG_FAXSUBADDRESS, 1, TagType::kAscii);
            break;
        }
        case COMPRESSION_LZW:
        case COMPRESSION_ADOBE_DEFLATE: {
            uint16_t predictor = 0;
            if (c.work.predictor != -1) {
                TIFFSetField(c.out, TIFFTAG_PREDICTOR, static_cast<uint16_t>(c.work.predictor));
            } else if (get_value(c.in, TIFFTAG_PREDICTOR, predictor)) {
                TIFFSetField(c.out, TIFFTAG_PREDICTOR, predictor);
            }
            break;
        }
        case COMPRESSION_JPEG:
            if (tag_known(c.out, TIFFTAG_JPEGQUALITY)) {
                TIFFSetField(c.out, TIFFTAG_JPEGQUALITY, c.defaults->jpeg_quality);
                TIFFSetField(c.out, TIFFTAG_JPEGCOLORMODE, c.defaults->jpeg_color_mode);
            }
            break;
        default:
            break;
    }
}

void copy_photometric(CopyContext& c, uint16_t samples_per_pixel) {
    uint16_t photometric = 0;
    const bool has_photometric = TIFFGetField(c.in, TIFFTAG_PHOTOMETRIC, &photometric) == 1;
    if (c.work.compression == COMPRESSION_JPEG) {
        uint16_t input_compression = 0;
        TIFFGetField(c.in, TIFFTAG_COMPRESSION, &input_compression);
        if (input_compression == COMPRESSION_JPEG && tag_known(c.in, TIFFTAG_JPEGCOLORMODE)) {
            TIFFSetField(c.in, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        }
        if (has_photometric) {
            if (photometric == PHOTOMETRIC_RGB &&
                c.defaults->jpeg_color_mode == JPEGCOLORMODE_RGB) {
                photometric = PHOTOMETRIC_YCBCR;
            }
            TIFFSetField(c.out, TIFFTAG_PHOTOMETRIC, photometric);
        }
    } else if (c.work.compression == COMPRESSION_SGILOG ||
               c.work.compression == COMPRESSION_SGILOG24) {
        TIFFSetField(c.out, TIFFTAG_PHOTOMETRIC,
                     samples_per_pixel == 1 ? PHOTOMETRIC_LOGL : PHOTOMETRIC_LOGLUV);
    } else if (has_photometric) {
        TIFFSetField(c.out, TIFFTAG_PHOTOMETRIC, photometric);
    }
}

void copy_ink_names(CopyContext& c) {
    uint16_t inks = 0;
    if (!get_value(c.in, TIFFTAG_NUMBEROFINKS, inks))
        return;
    TIFFSetField(c.out, TIFFTAG_NUMBEROFINKS, inks);
    const char* names = nullptr;
    if (!get_value(c.in, TIFFTAG_INKNAMES, names) || names == nullptr)
        return;
    // The library only vouches for as many names as there are samples per pixel, so the
    // walk never goes further than that, whatever NumberOfInks claims.
    uint16_t samples = 1;
    TIFFGetFieldDefaulted(c.in, TIFFTAG_SAMPLESPERPIXEL, &samples);
    const uint16_t walk = inks < samples ? inks : samples;
    size_t length = 0;
    for (uint16_t i = 0; i < walk; ++i) {
        while (names[length] != '\0')
            ++length;
        ++length;  // the terminator
    }
    if (length > 0 && length <= UINT16_MAX) {
        TIFFSetField(c.out, TIFFTAG_INKNAMES, static_cast<int>(length), names);
    }
}

// Records that the page is not in the output; a page the codec had reported before it failed
// is replaced.
void report_left_out(TiffCopyReport& report, uint32_t page) {
    if (!report.pages.empty() && report.pages.back().index == page)
        report.pages.pop_back();
    CopiedPage left_out;
    left_out.index = page;
    left_out.left_out = true;
    report.pages.push_back(left_out);
}

// Moves to the directory after `page` and sets `page` to it. A directory the library refuses
// (a size it will not take, a missing tag) is reported as left out, when there is a report,
// and the next one is tried: the library has read its link to the next directory by then.
// False at the end of the chain.
bool read_next_directory(TIFF* in, uint32_t& page, TiffCopyReport* report) {
    for (;;) {
        if (TIFFLastDirectory(in))
            return false;
        const uint64_t before = TIFFCurrentDirOffset(in);
        if (TIFFReadDirectory(in)) {
            ++page;
            return true;
        }
        ++page;
        // Without a report, or when the library did not move (a link it could not follow),
        // the chain ends here.
        if (report == nullptr || TIFFCurrentDirOffset(in) == before)
            return false;
        report_left_out(*report, page);
    }
}

bool output_scanline_fits(TIFF* in) {
    const tmsize_t size = TIFFScanlineSize(in);
    return size > 0 && static_cast<uint64_t>(size) <= kMaxPageBufferBytes;
}

}  // namespace

CopyDefaults copy_defaults_from(const TiffCopyOptions& options) {
    CopyDefaults d;
    d.values.fill_order = static_cast<uint16_t>(options.fill_order);
    d.values.group3_options = 0;
    d.jpeg_quality = options.jpeg_quality;
    d.tiled_output = options.tiled_output;
    d.append_output = options.append_output != 0;
    switch (options.compression_choice) {
        case 0:
            d.values.compression = COMPRESSION_NONE;
            break;
        case 1:
            d.values.compression = COMPRESSION_PACKBITS;
            break;
        case 2:
            d.values.compression = COMPRESSION_CCITTFAX3;
            d.values.group3_options = GROUP3OPT_FILLBITS;
            break;
        case 3:
            d.values.compression = COMPRESSION_CCITTFAX3;
            break;
        case 4:
            d.values.compression = COMPRESSION_CCITTFAX3;
            d.values.group3_options = GROUP3OPT_2DENCODING | GROUP3OPT_FILLBITS;
            break;
        case 5:
            d.values.compression = COMPRESSION_CCITTFAX3;
            d.values.group3_options = GROUP3OPT_2DENCODING;
            break;
        case 6:
            d.values.compression = COMPRESSION_CCITTFAX4;
            break;
        case 7:
            d.values.compression = COMPRESSION_JPEG;
            d.jpeg_color_mode = JPEGCOLORMODE_RGB;
            break;
        case 8:
            d.values.compression = COMPRESSION_JPEG;
            d.jpeg_color_mode = JPEGCOLORMODE_RAW;
            break;
        case 9:
            d.values.compression = COMPRESSION_LZW;
            break;
        case 10:
            d.values.compression = COMPRESSION_ADOBE_DEFLATE;
            break;
        default:
            break;  // copy the input's
    }
    return d;
}

void copy_tag(TIFF* in, TIFF* out, ttag_t tag, int count, TagType type) {
    if (!tag_known(in, tag))
        return;
    switch (type) {
        case TagType::kShort:
            if (count == 1) {
                uint16_t v = 0;
                if (TIFFGetField(in, tag, &v))
                    TIFFSetField(out, tag, v);
            } else if (count == 2) {
                uint16_t v1 = 0, v2 = 0;
                if (TIFFGetField(in, tag, &v1, &v2))
                    TIFFSetField(out, tag, v1, v2);
            } else if (count == 4) {
                uint16_t *t1 = nullptr, *t2 = nullptr, *t3 = nullptr;
                if (TIFFGetField(in, tag, &t1, &t2, &t3))
                    TIFFSetField(out, tag, t1, t2, t3);
            } else if (count == -1) {
                uint16_t n = 0;
                uint16_t* values = nullptr;
                if (TIFFGetField(in, tag, &n, &values))
                    TIFFSetField(out, tag, n, values);
            }
            break;
        case TagType::kLong: {
            uint32_t v = 0;
            if (TIFFGetField(in, tag, &v))
                TIFFSetField(out, tag, v);
            break;
        }
        case TagType::kRational:
            if (count == 1) {
                float v = 0;
                if (TIFFGetField(in, tag, &v))
                    TIFFSetField(out, tag, static_cast<double>(v));
            } else if (count == -1) {
                float* values = nullptr;
                if (TIFFGetField(in, tag, &values))
                    TIFFSetField(out, tag, values);
            }
            break;
        case TagType::kAscii: {
            const char* text = nullptr;
            if (TIFFGetField(in, tag, &text) && text)
                TIFFSetField(out, tag, text);
            break;
        }
        case TagType::kDouble:
            if (count == 1) {
                double v = 0;
                if (TIFFGetField(in, tag, &v))
                    TIFFSetField(out, tag, v);
            } else if (count == -1) {
                double* values = nullptr;
                if (TIFFGetField(in, tag, &values))
                    TIFFSetField(out, tag, values);
            }
            break;
    }
}

bool copy_directory(CopyContext& c) {
    uint32_t width = 0, length = 0;
    uint16_t bits_per_sample = 1, samples_per_pixel = 1;
    if (TIFFGetField(c.in, TIFFTAG_IMAGEWIDTH, &width)) {
        TIFFSetField(c.out, TIFFTAG_IMAGEWIDTH, width);
    }
    if (TIFFGetField(c.in, TIFFTAG_IMAGELENGTH, &length)) {
        TIFFSetField(c.out, TIFFTAG_IMAGELENGTH, length);
    }
    if (TIFFGetField(c.in, TIFFTAG_BITSPERSAMPLE, &bits_per_sample)) {
        TIFFSetField(c.out, TIFFTAG_BITSPERSAMPLE, bits_per_sample);
    }
    if (TIFFGetField(c.in, TIFFTAG_SAMPLESPERPIXEL, &samples_per_pixel)) {
        TIFFSetField(c.out, TIFFTAG_SAMPLESPERPIXEL, samples_per_pixel);
    }

    if (c.work.compression == -1) {
        uint16_t compression = 0;
        if (TIFFGetField(c.in, TIFFTAG_COMPRESSION, &compression)) {
            c.work.compression = compression;
            TIFFSetField(c.out, TIFFTAG_COMPRESSION, compression);
        }
    } else if (!TIFFSetField(c.out, TIFFTAG_COMPRESSION, c.work.compression)) {
        return false;  // a codec this library lacks
    }

    copy_photometric(c, samples_per_pixel);

    if (c.work.fill_order != 0) {
        TIFFSetField(c.out, TIFFTAG_FILLORDER, static_cast<uint16_t>(c.work.fill_order));
    } else {
        copy_tag(c.in, c.out, TIFFTAG_FILLORDER, 1, TagType::kShort);
    }

    c.work.orientation = apply_orientation(c);
    TIFFSetField(c.out, TIFFTAG_ORIENTATION, static_cast<uint16_t>(c.work.orientation));

    if (!set_layout(c, width, length))
        return false;

    if (c.work.planar_config == -1) {
        uint16_t planar = 0;
        if (TIFFGetField(c.in, TIFFTAG_PLANARCONFIG, &planar)) {
            c.work.planar_config = planar;
            TIFFSetField(c.out, TIFFTAG_PLANARCONFIG, planar);
        }
    } else {
        TIFFSetField(c.out, TIFFTAG_PLANARCONFIG, static_cast<uint16_t>(c.work.planar_config));
    }

    if (samples_per_pixel <= 4) {
        copy_tag(c.in, c.out, TIFFTAG_TRANSFERFUNCTION, 4, TagType::kShort);
    }
    copy_tag(c.in, c.out, TIFFTAG_COLORMAP, 4, TagType::kShort);

    copy_compression_tags(c);

    uint32_t icc_length = 0;
    void* icc = nullptr;
    if (tag_known(c.in, TIFFTAG_ICCPROFILE) &&
        TIFFGetField(c.in, TIFFTAG_ICCPROFILE, &icc_length, &icc)) {
        TIFFSetField(c.out, TIFFTAG_ICCPROFILE, icc_length, icc);
    }

    copy_ink_names(c);

    uint16_t page = 0, pages = 0;
    if (TIFFGetField(c.in, TIFFTAG_PAGENUMBER, &page, &pages)) {
        TIFFSetField(c.out, TIFFTAG_PAGENUMBER, page, pages);
    }

    for (const CommonTag& t : kCommonTags)
        copy_tag(c.in, c.out, t.tag, t.count, t.type);

    const CopyRoutine routine = pick_copy_routine(c, bits_per_sample, samples_per_pixel);
    if (routine == nullptr)
        return false;
    return routine(c, length, width, samples_per_pixel);
}

CopyRoutine pick_copy_routine(CopyContext& c, uint16_t bits_per_sample,
                              uint16_t samples_per_pixel) {
    uint16_t input_planar = PLANARCONFIG_CONTIG;
    TIFFGetFieldDefaulted(c.in, TIFFTAG_PLANARCONFIG, &input_planar);
    const int32_t output_planar = c.work.planar_config == -1 ? input_planar : c.work.planar_config;
    if (input_planar != output_planar && bits_per_sample != 8 && samples_per_pixel > 1) {
        c.sink->error(TIFFFileName(c.in),
                      "%s: Cannot handle different planar configuration w/ bits/sample != 8",
                      TIFFFileName(c.in));
        return nullptr;
    }

    const bool input_tiled = TIFFIsTiled(c.in) != 0;
    bool whole_chunks = false;
    uint32_t width = 0, length = 0;
    TIFFGetField(c.in, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(c.in, TIFFTAG_IMAGELENGTH, &length);
    if (!input_tiled && !c.output_tiled) {
        uint32_t input_rows = 0;
        const int64_t input_rows_per_strip =
            TIFFGetField(c.in, TIFFTAG_ROWSPERSTRIP, &input_rows) ? int64_t{input_rows} : -1;
        whole_chunks = c.work.rows_per_strip == input_rows_per_strip;
    } else if (c.output_tiled) {
        uint32_t tile_width = width, tile_length = length;
        TIFFGetField(c.in, TIFFTAG_TILEWIDTH, &tile_width);
        TIFFGetField(c.in, TIFFTAG_TILELENGTH, &tile_length);
        whole_chunks = tile_width == c.work.tile_width && tile_length == c.work.tile_length;
    } else {
        uint32_t tile_width = 0, tile_length = 0;
        TIFFGetField(c.in, TIFFTAG_TILEWIDTH, &tile_width);
        TIFFGetField(c.in, TIFFTAG_TILELENGTH, &tile_length);
        whole_chunks = tile_width == width && tile_length == c.work.rows_per_strip;
    }

    const uint32_t key = (uint32_t{input_planar} << 11) |
                         (static_cast<uint32_t>(output_planar) << 3) | (input_tiled ? 4u : 0u) |
                         (c.output_tiled ? 2u : 0u) | (whole_chunks ? 1u : 0u);
    constexpr uint32_t kContigToContig = (PLANARCONFIG_CONTIG << 11) | (PLANARCONFIG_CONTIG << 3);
    // The tile and separate-plane layouts never come from the fax pipeline; they are refused.
    if (key == (kContigToContig | 1u)) {
        const bool reference = c.hooks != nullptr && c.hooks->reference_codec;
        return !reference && takes_fax_page(c, length, width) ? copy_fax_page : copy_decoded_strips;
    }
    if (key == kContigToContig)
        return copy_rows;
    c.sink->error(TIFFFileName(c.in), "tiffcp: %s: Don't know how to copy/convert image.",
                  TIFFFileName(c.in));
    return nullptr;
}

bool copy_decoded_strips(CopyContext& c, uint32_t length, uint32_t, uint16_t) {
    const tmsize_t strip_size = TIFFStripSize(c.in);
    if (c.work.rows_per_strip <= 0 || strip_size <= 0 ||
        static_cast<uint64_t>(strip_size) > kMaxPageBufferBytes) {
        c.sink->error(TIFFFileName(c.in), "Can't allocate a strip buffer of %lld bytes",
                      static_cast<long long>(strip_size));
        return false;
    }
    std::vector<uint8_t> buffer(static_cast<size_t>(strip_size));
    const tstrip_t strips = TIFFNumberOfStrips(c.in);
    bool unreadable = false;
    const uint64_t rows_per_strip = static_cast<uint64_t>(c.work.rows_per_strip);
    for (tstrip_t s = 0; s < strips; ++s) {
        const uint64_t row = uint64_t{s} * rows_per_strip;
        tmsize_t bytes = strip_size;
        if (row + rows_per_strip > length) {
            if (row >= length)
                break;  // no rows left for this strip
            bytes = TIFFVStripSize(c.in, static_cast<uint32_t>(length - row));
            if (bytes <= 0 || bytes > strip_size)
                return false;
        }
        // Read errors are ignored: whatever the decoder produced is kept, the rest stays white.
        std::fill(buffer.begin(), buffer.end(), uint8_t{0});
        if (TIFFReadEncodedStrip(c.in, s, buffer.data(), bytes) < 0)
            unreadable = true;
        if (TIFFWriteEncodedStrip(c.out, s, buffer.data(), bytes) < 0)
            return false;
    }
    if (unreadable && c.hooks != nullptr && c.hooks->report != nullptr &&
        !c.hooks->reference_codec) {
        CopiedPage page;
        page.index = c.page;
        page.unreadable = true;
        c.hooks->report->pages.push_back(page);
    }
    return true;
}

bool copy_rows(CopyContext& c, uint32_t length, uint32_t, uint16_t) {
    if (!output_scanline_fits(c.in)) {
        c.sink->error(TIFFFileName(c.in), "Can't allocate a row buffer of %lld bytes",
                      static_cast<long long>(TIFFScanlineSize(c.in)));
        return false;
    }
    std::vector<uint8_t> buffer(static_cast<size_t>(TIFFScanlineSize(c.in)));
    for (uint32_t row = 0; row < length; ++row) {
        std::fill(buffer.begin(), buffer.end(), uint8_t{0});
        TIFFReadScanline(c.in, buffer.data(), row, 0);
        if (TIFFWriteScanline(c.out, buffer.data(), row, 0) < 0)
            return false;
    }
    return true;
}

int copy_tiff(const std::string& input, const std::string& output, const TiffCopyOptions& options,
              const std::string& directory_list) {
    DiagnosticSink discard;
    return copy_tiff(input, output, options, directory_list, discard);
}

int copy_tiff(const std::string& input, const std::string& output, const TiffCopyOptions& options,
              const std::string& directory_list, DiagnosticSink& sink) {
    return copy_tiff(input, output, options, directory_list, sink, TiffCopyHooks{});
}

int copy_tiff(const std::string& input, const std::string& output, const TiffCopyOptions& options,
              const std::string& directory_list, DiagnosticSink& sink, const TiffCopyHooks& hooks) {
    // The sink takes errno as the reason of an error: a value left from before this call must
    // not pass for one.
    errno = 0;
    const CopyDefaults defaults = copy_defaults_from(options);
    TiffPtr out = open_tiff(output, defaults.append_output ? "a" : "w", sink);
    if (!out) {
        sink.set_system_error(errno);
        return kCopyOutputFailed;
    }

    DirectoryList list;
    if (!parse_directory_list(directory_list, list)) {
        errno = 0;  // the number parser's, not the system's
        sink.error(input.c_str(), "Expected a %c separated image # list after %s", kListSeparator,
                   input.c_str());
        return kCopyInputFailed;
    }
    TiffPtr in = open_tiff_for_reading(input, sink);
    if (!in)
        return kCopyInputFailed;
    size_t next_entry = 0;
    if (!list.entries.empty()) {
        if (!set_listed_directory(in.get(), list.entries[0], sink))
            return kCopyInputFailed;
        next_entry = 1;
    }

    const bool may_leave_out = hooks.report != nullptr;
    uint32_t page = TIFFCurrentDirectory(in.get());
    for (;;) {
        CopyContext context;
        context.in = in.get();
        context.out = out.get();
        context.defaults = &defaults;
        context.work = defaults.values;
        context.sink = &sink;
        context.hooks = &hooks;
        context.page = page;
        bool leave_out = false;
        try {
            // A failure the system explains (a full disk, say) is the run's; one it does not
            // is this page's: the library refuses its size or layout.
            errno = 0;
            if (!copy_directory(context)) {
                if (!may_leave_out || errno != 0) {
                    sink.set_system_error(errno);
                    return kCopyDirectoryFailed;
                }
                leave_out = true;
            } else if (!TIFFWriteDirectory(out.get())) {
                sink.set_system_error(errno);
                return kCopyDirectoryFailed;
            }
        } catch (const std::exception&) {
            leave_out = true;
        }
        if (leave_out) {
            // Leave this directory out and go on with the next one; the report says so.
            // Switching the abandoned directory to no compression has its codec free the state
            // it set up: the library's one public way to its clean-up.
            TIFFSetField(out.get(), TIFFTAG_COMPRESSION, COMPRESSION_NONE);
            TIFFFreeDirectory(out.get());
            TIFFCreateDirectory(out.get());
            if (hooks.report != nullptr)
                report_left_out(*hooks.report, page);
        }
        if (next_entry < list.entries.size()) {
            if (!set_listed_directory(in.get(), list.entries[next_entry++], sink))
                break;
            page = TIFFCurrentDirectory(in.get());
        } else if (!list.entries.empty() && !list.continue_after) {
            break;
        } else if (!read_next_directory(in.get(), page, may_leave_out ? hooks.report : nullptr)) {
            break;
        }
    }
    return kCopyOk;
}

}  // namespace trelvane::pdfout
