#include "support/text_page.h"

#include <algorithm>
#include <cmath>
#include <regex>

#include "support/pdf_tools.h"
#include "support/temp_dir.h"

namespace trelvane::testsupport {
namespace {

std::string unescape_xml(std::string s) {
    const std::pair<const char*, const char*> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
    for (const auto& [from, to] : entities) {
        for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + 1))
            s.replace(at, std::char_traits<char>::length(from), to);
    }
    return s;
}

std::string ps_string(const std::string& text) {
    std::string s = "(";
    for (const char c : text) {
        if (c == '(' || c == ')' || c == '\\')
            s += '\\';
        s += c;
    }
    return s + ")";
}

}  // namespace

bool render_postscript(const std::string& program, int x_res, int y_res, int width, int height,
                       Bitmap& out, std::string* log) {
    TempDir scratch;
    const std::string ps = scratch.file("page.ps");
    const std::string pbm = scratch.file("page.pbm");
    if (FILE* f = std::fopen(ps.c_str(), "wb")) {
        std::fwrite(program.data(), 1, program.size(), f);
        std::fclose(f);
    } else {
        return false;
    }
    const ToolRun run = run_tool({"gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-sDEVICE=pbmraw",
                                  "-r" + std::to_string(x_res) + "x" + std::to_string(y_res),
                                  "-g" + std::to_string(width) + "x" + std::to_string(height),
                                  "-dFIXEDMEDIA", "-sOutputFile=" + pbm, ps});
    if (log)
        *log = run.output;
    return run.exit_code == 0 && read_pbm(pbm, out);
}

std::string text_page_program(const std::vector<std::string>& lines, int point_size) {
    std::string p =
        "%!PS\n/Times-Roman findfont " + std::to_string(point_size) + " scalefont setfont\n";
    int y = 720;
    for (const std::string& line : lines) {
        p += "72 " + std::to_string(y) + " moveto " + ps_string(line) + " show\n";
        y -= point_size * 2;
    }
    return p + "showpage\n";
}

bool pdf_words(const std::string& pdf, int page, std::vector<PdfWord>& words) {
    const ToolRun run = run_tool(
        {"pdftotext", "-bbox", "-f", std::to_string(page), "-l", std::to_string(page), pdf, "-"});
    if (run.exit_code != 0)
        return false;
    static const std::regex word_re(
        R"re(<word xMin="([-\d.]+)" yMin="([-\d.]+)" xMax="([-\d.]+)" yMax="([-\d.]+)">([^<]*)</word>)re");
    words.clear();
    for (auto it = std::sregex_iterator(run.output.begin(), run.output.end(), word_re);
         it != std::sregex_iterator(); ++it) {
        const std::smatch& m = *it;
        words.push_back(PdfWord{unescape_xml(m[5].str()), std::stod(m[1].str()),
                                std::stod(m[2].str()), std::stod(m[3].str()),
                                std::stod(m[4].str())});
    }
    return true;
}

std::string pdf_text(const std::string& pdf, int page) {
    return run_tool({"pdftotext", "-f", std::to_string(page), "-l", std::to_string(page), pdf, "-"})
        .output;
}

InkBox ink_box(const Bitmap& page, int left, int top, int right, int bottom) {
    left = std::max(left, 0);
    top = std::max(top, 0);
    right = std::min(right, page.width);
    bottom = std::min(bottom, page.height);
    InkBox box{right, bottom, left, top};
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x) {
            if (page.get(x, y)) {
                box.left = std::min(box.left, x);
                box.top = std::min(box.top, y);
                box.right = std::max(box.right, x + 1);
                box.bottom = std::max(box.bottom, y + 1);
            }
        }
    }
    return box;
}

std::string words_off_their_ink(const std::vector<PdfWord>& words, const Bitmap& rendered,
                                int x_res, int y_res, double slack) {
    std::string problems;
    for (const PdfWord& w : words) {
        const double left = w.x_min * x_res / 72, right = w.x_max * x_res / 72;
        const double top = w.y_min * y_res / 72, bottom = w.y_max * y_res / 72;
        const InkBox ink =
            ink_box(rendered, int(left) - 3, int(top), int(right) + 3, int(bottom) + 1);
        if (ink.empty() || std::abs(left - ink.left) > slack ||
            std::abs(right - ink.right) > slack || ink.top < top - 1 || ink.bottom > bottom + 1) {
            problems += "'" + w.text + "': box " + std::to_string(left) + "," +
                        std::to_string(top) + " to " + std::to_string(right) + "," +
                        std::to_string(bottom) + ", ink " + std::to_string(ink.left) + "," +
                        std::to_string(ink.top) + " to " + std::to_string(ink.right) + "," +
                        std::to_string(ink.bottom) + "\n";
        }
    }
    return problems;
}

}  // namespace trelvane::testsupport
