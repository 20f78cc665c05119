// The invisible text layer of a searchable page: recognised words drawn after the image in
// text render mode 3, each at its box and stretched to its width, so that text extraction
// finds the words in reading order and a viewer's selection lies over the printed words.
//
// The font is a Type 3 font whose every glyph is the same empty procedure of half an em:
// nothing can ever be painted, no font file is embedded, and a ToUnicode map (with glyph
// names uniXXXX as a second route) gives each code its character. Codes are handed out
// per document; a font holds 255, so further characters open further fonts.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace trelvane::pdfout {

// One recognised word.
struct TextWord {
    std::string text;  // UTF-8
    // Box in the page image's pixels: origin at the top left, y downward, right and bottom
    // exclusive.
    double left = 0, top = 0, right = 0, bottom = 0;
    // Words of one line share these three; lines are told apart by them.
    int32_t block = 0, paragraph = 0, line = 0;
};

// A page's words in reading order.
struct PageText {
    std::vector<TextWord> words;
};

// Hands the writer each page's text as the page is written.
class PageTextProvider {
  public:
    virtual ~PageTextProvider() = default;
    // Page `page_index` (from 0, in page order): its words, or nothing for a page that gets
    // no text layer (for example one whose recognition failed).
    virtual std::optional<PageText> page_text(uint32_t page_index) = 0;
};

// The document's Type 3 fonts and the codes given to characters so far.
class TextLayerFonts {
  public:
    struct Glyph {
        uint16_t font = 0;
        uint8_t code = 0;
    };
    // The font and code of a character, given one on first use.
    Glyph glyph_for(char32_t c);
    size_t font_count() const { return fonts_.size(); }

    // Objects of the fonts, written once after the last page: the shared empty glyph at
    // `first_object`, the shared font descriptor, then per font its dictionary and its
    // ToUnicode map.
    uint32_t object_count() const;
    static uint32_t font_object(uint32_t first_object, size_t font) {
        return first_object + 2 + 2 * static_cast<uint32_t>(font);
    }
    // The bodies of the objects (without "n 0 obj" and "endobj").
    static std::string glyph_procedure_object();
    static std::string font_descriptor_object();
    std::string font_object_body(size_t font, uint32_t first_object) const;
    std::string to_unicode_object(size_t font) const;

  private:
    std::vector<std::array<char32_t, 256>> fonts_;  // code -> character, 0 = free
    std::unordered_map<char32_t, Glyph> assigned_;
    size_t next_free_ = 0;  // in the last font
};

// Where the image lies on the page: its size in pixels and the placement matrix a b c d e f
// that maps the unit square onto the page.
struct TextLayerGeometry {
    uint32_t width = 0;
    uint32_t length = 0;
    double matrix[6] = {1, 0, 0, 1, 0, 0};
};

struct TextLayerContent {
    std::string operators;        // empty when the page has no word to draw
    std::vector<uint16_t> fonts;  // fonts the operators use, ascending
};

// The content-stream operators of a page's words. Needs no resources besides the fonts.
TextLayerContent build_text_layer(const PageText& text, const TextLayerGeometry& geometry,
                                  TextLayerFonts& fonts);

// The page's /Font resource entry for the fonts used ("/Font << /F1 12 0 R >>\r").
std::string font_resources(const std::vector<uint16_t>& fonts, uint32_t first_object);

// The bytes compressed for /FlateDecode; empty when compression fails.
std::string flate_compress(const std::string& bytes);

// UTF-8 to characters; a malformed sequence gives U+FFFD.
std::u32string decode_utf8(const std::string& text);

}  // namespace trelvane::pdfout
