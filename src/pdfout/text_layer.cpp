#include "pdfout/text_layer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <zlib.h>

#include "platform/utf8.h"

namespace trelvane::pdfout {
namespace {

// Glyph space (1/1000 em): every glyph is half an em wide; the box reaches 0.8 em above the
// baseline and 0.2 em below, so a line's box is exactly one em high.
constexpr int kGlyphWidth = 500;
constexpr int kAscent = 800;
constexpr int kDescent = -200;
constexpr char32_t kReplacement = 0xFFFD;
constexpr size_t kCodesPerFont = 256;
constexpr int kBfCharsPerBlock = 100;  // the most a CMap block may hold
constexpr double kMinWordGap = 0.15;   // em

bool is_drawable(char32_t c) {
    return c >= 0x20 && !(c >= 0x7F && c <= 0x9F) && c != 0xFEFF && c <= 0x10FFFF &&
           !(c >= 0xD800 && c <= 0xDFFF);
}

std::string format(const char* f, auto... args) {
    char buffer[128];
    const int n = std::snprintf(buffer, sizeof buffer, f, args...);
    return std::string(buffer,
                       n > 0 ? std::min<size_t>(static_cast<size_t>(n), sizeof buffer - 1) : 0);
}

// The character as UTF-16BE hexadecimal digits, for the ToUnicode map.
std::string utf16_hex(char32_t c) {
    if (c < 0x10000)
        return format("%04X", static_cast<unsigned>(c));
    const char32_t v = c - 0x10000;
    return format("%04X%04X", static_cast<unsigned>(0xD800 + (v >> 10)),
                  static_cast<unsigned>(0xDC00 + (v & 0x3FF)));
}

std::string glyph_name(char32_t c) {
    return c < 0x10000 ? format("/uni%04X", static_cast<unsigned>(c))
                       : format("/u%05X", static_cast<unsigned>(c));
}

struct Line {
    size_t first = 0, end = 0;  // words [first, end)
    double top = 0, bottom = 0;
};

bool same_line(const TextWord& a, const TextWord& b) {
    return a.block == b.block && a.paragraph == b.paragraph && a.line == b.line;
}

double clamp_to(double v, double limit) {
    return std::isfinite(v) ? std::clamp(v, 0.0, limit) : 0.0;
}

}  // namespace

std::string flate_compress(const std::string& bytes) {
    uLongf size = compressBound(static_cast<uLong>(bytes.size()));
    std::string packed(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(packed.data()), &size,
                  reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uLong>(bytes.size()),
                  Z_BEST_COMPRESSION) != Z_OK) {
        return {};
    }
    packed.resize(size);
    return packed;
}

std::u32string decode_utf8(const std::string& text) {
    std::u32string out;
    for (size_t i = 0; i < text.size();) {
        const platform::Utf8Character c = platform::decode_utf8_at(text, i);
        out += c.length == 0 ? kReplacement : c.code;
        i += c.length == 0 ? 1 : c.length;
    }
    return out;
}

TextLayerFonts::Glyph TextLayerFonts::glyph_for(char32_t c) {
    if (const auto found = assigned_.find(c); found != assigned_.end())
        return found->second;
    if (fonts_.empty()) {
        // The first font gives printable ASCII its own codes, so that even a reader that
        // ignores the maps sees plain text.
        fonts_.emplace_back();
        fonts_[0].fill(0);
        next_free_ = 1;
    }
    const bool ascii = c >= 0x20 && c < 0x7F;
    if (ascii && fonts_[0][c] == 0) {
        fonts_[0][c] = c;
        return assigned_[c] = Glyph{0, static_cast<uint8_t>(c)};
    }
    auto& last = fonts_.back();
    const bool first_font = fonts_.size() == 1;
    // Skip the codes the first font keeps for ASCII, and in every font the space's code,
    // which word spacing (Tw) would widen.
    while (next_free_ < kCodesPerFont &&
           (last[next_free_] != 0 || next_free_ == 0x20 ||
            (first_font && next_free_ >= 0x20 && next_free_ < 0x7F))) {
        ++next_free_;
    }
    if (next_free_ >= kCodesPerFont) {
        fonts_.emplace_back();
        fonts_.back().fill(0);
        next_free_ = 1;
    }
    const auto font = static_cast<uint16_t>(fonts_.size() - 1);
    const auto code = static_cast<uint8_t>(next_free_++);
    fonts_.back()[code] = c;
    return assigned_[c] = Glyph{font, code};
}

uint32_t TextLayerFonts::object_count() const {
    return fonts_.empty() ? 0 : 2 + 2 * static_cast<uint32_t>(fonts_.size());
}

std::string TextLayerFonts::glyph_procedure_object() {
    // Sets the advance width and paints nothing.
    const std::string proc = format("%d 0 d0", kGlyphWidth);
    return format("<< /Length %zu >>\rstream\r\n", proc.size()) + proc + "\rendstream\r";
}

// Readers take a line's height from the descriptor's ascent and descent, not from the font's
// box: with them, a word's box is its line's box.
std::string TextLayerFonts::font_descriptor_object() {
    return format("<< /Type /FontDescriptor /FontName /Glyphless /Flags 4 /FontBBox [0 %d %d %d] ",
                  kDescent, kGlyphWidth, kAscent) +
           format("/ItalicAngle 0 /Ascent %d /Descent %d /CapHeight %d /StemV 80 >>\r", kAscent,
                  kDescent, kAscent);
}

std::string TextLayerFonts::font_object_body(size_t font, uint32_t first_object) const {
    const auto& codes = fonts_[font];
    int first = -1, last = -1;
    std::string differences, procs;
    for (size_t code = 1; code < kCodesPerFont; ++code) {
        if (codes[code] == 0)
            continue;
        if (first < 0)
            first = static_cast<int>(code);
        last = static_cast<int>(code);
        const std::string name = glyph_name(codes[code]);
        differences += format("%zu ", code) + name + " ";
        procs += name + format(" %u 0 R ", first_object);
    }
    if (first < 0)
        first = last = 32;
    std::string widths;
    for (int code = first; code <= last; ++code)
        widths += format("%d ", kGlyphWidth);
    std::string body = "<< /Type /Font /Subtype /Type3 \r";
    body += format("/FontBBox [0 %d %d %d] /FontMatrix [0.001 0 0 0.001 0 0] \r", kDescent,
                   kGlyphWidth, kAscent);
    body += "/CharProcs << " + procs + ">> \r";
    body += "/Encoding << /Type /Encoding /Differences [ " + differences + "] >> \r";
    body += format("/FirstChar %d /LastChar %d /Widths [ ", first, last) + widths + "] \r";
    body += format("/Resources << >> /FontDescriptor %u 0 R /ToUnicode %u 0 R \r>>\r",
                   first_object + 1, static_cast<unsigned>(font_object(first_object, font) + 1));
    return body;
}

std::string TextLayerFonts::to_unicode_object(size_t font) const {
    const auto& codes = fonts_[font];
    std::vector<std::string> entries;
    for (size_t code = 1; code < kCodesPerFont; ++code) {
        if (codes[code] != 0)
            entries.push_back(format("<%02X> <", static_cast<unsigned>(code)) +
                              utf16_hex(codes[code]) + ">\n");
    }
    std::string cmap =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
        "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
        "1 begincodespacerange\n<00> <FF>\nendcodespacerange\n";
    for (size_t i = 0; i < entries.size(); i += kBfCharsPerBlock) {
        const size_t n = std::min<size_t>(kBfCharsPerBlock, entries.size() - i);
        cmap += format("%zu beginbfchar\n", n);
        for (size_t k = 0; k < n; ++k)
            cmap += entries[i + k];
        cmap += "endbfchar\n";
    }
    cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend";
    return format("<< /Length %zu >>\rstream\r\n", cmap.size()) + cmap + "\rendstream\r";
}

TextLayerContent build_text_layer(const PageText& text, const TextLayerGeometry& geometry,
                                  TextLayerFonts& fonts) {
    TextLayerContent content;
    if (geometry.width == 0 || geometry.length == 0)
        return content;
    const double width = geometry.width, length = geometry.length;

    std::vector<Line> lines;
    for (size_t i = 0; i < text.words.size(); ++i) {
        const TextWord& w = text.words[i];
        const double top = clamp_to(std::min(w.top, w.bottom), length);
        const double bottom = clamp_to(std::max(w.top, w.bottom), length);
        if (lines.empty() || !same_line(text.words[lines.back().first], w)) {
            lines.push_back(Line{i, i + 1, top, bottom});
        } else {
            lines.back().end = i + 1;
            lines.back().top = std::min(lines.back().top, top);
            lines.back().bottom = std::max(lines.back().bottom, bottom);
        }
    }

    std::string ops;
    int current_font = -1;
    double current_size = -1, current_scale = -1;
    std::vector<bool> used(0);
    for (const Line& line : lines) {
        // One size and baseline per line, so that readers keep the line's words together.
        const double size = std::max(1.0, line.bottom - line.top);
        const double baseline = length - (line.bottom + kDescent / 1000.0 * size);
        struct Placed {
            std::vector<TextLayerFonts::Glyph> glyphs;
            double left = 0, right = 0;
        };
        std::vector<Placed> placed;
        for (size_t i = line.first; i < line.end; ++i) {
            const TextWord& w = text.words[i];
            Placed p;
            for (const char32_t c : decode_utf8(w.text)) {
                if (is_drawable(c) && c != U' ')
                    p.glyphs.push_back(fonts.glyph_for(c));
            }
            p.left = clamp_to(std::min(w.left, w.right), width);
            p.right = clamp_to(std::max(w.left, w.right), width);
            if (!p.glyphs.empty() && p.right - p.left > 0)
                placed.push_back(std::move(p));
        }
        // Words whose boxes touch or overlap are drawn a little narrower: readers take a gap
        // of less than about a tenth of the size for no break at all.
        const double min_gap = kMinWordGap * size;
        for (size_t i = 0; i + 1 < placed.size(); ++i) {
            Placed& a = placed[i];
            Placed& b = placed[i + 1];
            const double missing = min_gap - (b.left - a.right);
            if (missing > 0 && b.left > a.left) {
                const double room = std::min(a.right - a.left, b.right - b.left) / 4;
                const double shift = std::min(missing / 2, room);
                a.right -= shift;
                b.left += shift;
            }
        }
        for (size_t i = 0; i < placed.size(); ++i) {
            std::vector<TextLayerFonts::Glyph>& glyphs = placed[i].glyphs;
            const double left = placed[i].left, right = placed[i].right;
            const double natural = static_cast<double>(glyphs.size()) * kGlyphWidth / 1000.0 * size;
            const double scale = 100.0 * (right - left) / natural;
            if (std::fabs(scale - current_scale) >= 0.005) {
                ops += format("%.2f Tz\r", scale);
                current_scale = scale;
            }
            ops += format("1 0 0 1 %.2f %.2f Tm\r", left, baseline);
            // A real space between words, as wide as the gap: readers that judge word breaks
            // by distance alone would join words set close together.
            if (i + 1 < placed.size()) {
                const double gap = placed[i + 1].left - right;
                const double spacing = gap * 100.0 / scale - kGlyphWidth / 1000.0 * size;
                ops += format("%.2f Tw\r", spacing);
                glyphs.push_back(fonts.glyph_for(U' '));
            }
            // One string per run of glyphs of one font.
            size_t k = 0;
            while (k < glyphs.size()) {
                const uint16_t font = glyphs[k].font;
                if (font != current_font || std::fabs(size - current_size) >= 0.005) {
                    ops += format("/F%u %.2f Tf\r", unsigned{font} + 1, size);
                    current_font = font;
                    current_size = size;
                }
                if (used.size() <= font)
                    used.resize(font + 1u, false);
                used[font] = true;
                ops += "<";
                for (; k < glyphs.size() && glyphs[k].font == font; ++k)
                    ops += format("%02X", unsigned{glyphs[k].code});
                ops += "> Tj\r";
            }
        }
    }
    if (ops.empty())
        return content;
    const double* m = geometry.matrix;
    // Text space in the image's pixels, y upward from the image's bottom edge.
    content.operators = "q\r" +
                        format("%.6f %.6f %.6f %.6f %.4f %.4f cm\r", m[0] / width, m[1] / width,
                               m[2] / length, m[3] / length, m[4], m[5]) +
                        "BT\r3 Tr\r" + ops + "ET\rQ\r";
    for (size_t f = 0; f < used.size(); ++f) {
        if (used[f])
            content.fonts.push_back(static_cast<uint16_t>(f));
    }
    return content;
}

std::string font_resources(const std::vector<uint16_t>& fonts, uint32_t first_object) {
    if (fonts.empty())
        return {};
    std::string s = "/Font <<";
    for (const uint16_t f : fonts) {
        s += format(" /F%u %u 0 R", unsigned{f} + 1,
                    static_cast<unsigned>(TextLayerFonts::font_object(first_object, f)));
    }
    return s + " >>\r";
}

}  // namespace trelvane::pdfout
