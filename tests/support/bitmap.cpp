#include "support/bitmap.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>

namespace trelvane::testsupport {

Bitmap Bitmap::normalised() const {
    Bitmap out = *this;
    const int pad = row_bytes() * 8 - width;
    if (pad > 0) {
        const uint8_t keep = static_cast<uint8_t>(0xFF << pad);
        for (int y = 0; y < height; ++y) {
            out.bits[static_cast<size_t>(y) * row_bytes() + row_bytes() - 1] &= keep;
        }
    }
    return out;
}

bool Bitmap::operator==(const Bitmap& o) const {
    return width == o.width && height == o.height && normalised().bits == o.normalised().bits;
}

Bitmap all_white(int width, int height) {
    return Bitmap(width, height);
}

Bitmap all_black(int width, int height) {
    Bitmap b(width, height);
    std::fill(b.bits.begin(), b.bits.end(), 0xFF);
    return b.normalised();
}

Bitmap checkerboard(int width, int height, int cell) {
    Bitmap b(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (((x / cell) + (y / cell)) % 2 == 1)
                b.set(x, y);
        }
    }
    return b;
}

Bitmap vertical_stripes(int width, int height, int period) {
    Bitmap b(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if ((x % period) >= period / 2)
                b.set(x, y);
        }
    }
    return b;
}

Bitmap first_line_black(int width, int height) {
    Bitmap b(width, height);
    for (int y = 0; y < height; ++y) {
        const int black = 1 + (y * 37) % std::max(1, width - 1);
        for (int x = 0; x < black && x < width; ++x)
            b.set(x, y);
        if (y % 3 == 0 && width > 10)
            b.set(width - 1, y);
    }
    return b;
}

Bitmap long_runs(int width, int height) {
    Bitmap b(width, height);
    for (int y = 0; y < height; ++y) {
        switch (y % 4) {
            case 0:  // all black line
                for (int x = 0; x < width; ++x)
                    b.set(x, y);
                break;
            case 1:  // white run, then a long black run to the end
                for (int x = width / 7; x < width; ++x)
                    b.set(x, y);
                break;
            case 2:  // one black pixel in a sea of white
                b.set(width / 2, y);
                break;
            default:  // all white
                break;
        }
    }
    return b;
}

Bitmap text_like(int width, int height, uint32_t seed) {
    Bitmap b(width, height);
    std::mt19937 rng(seed);
    const int margin = width / 12;
    const int line_pitch = 28 + static_cast<int>(rng() % 12);
    for (int top = margin / 2; top + 20 < height; top += line_pitch) {
        if (rng() % 9 == 0)
            continue;  // paragraph gap
        int x = margin + static_cast<int>(rng() % 20);
        const int right = width - margin - static_cast<int>(rng() % (width / 4 + 1));
        while (x + 12 < right) {
            const int word = 2 + static_cast<int>(rng() % 8);
            for (int c = 0; c < word && x + 12 < right; ++c) {
                const int gw = 6 + static_cast<int>(rng() % 7);
                const int gh = 12 + static_cast<int>(rng() % 8);
                const int shape = static_cast<int>(rng() % 4);
                for (int yy = 0; yy < gh; ++yy) {
                    for (int xx = 0; xx < gw; ++xx) {
                        bool ink = false;
                        switch (shape) {
                            case 0:
                                ink = xx < 2 || yy < 2 || yy >= gh - 2;
                                break;
                            case 1:
                                ink = xx < 2 || xx >= gw - 2 || yy == gh / 2;
                                break;
                            case 2:
                                ink = (xx + yy) % 5 < 2;
                                break;
                            default:
                                ink = (yy < 2) || (xx == gw / 2);
                                break;
                        }
                        if (ink && top + yy < height)
                            b.set(x + xx, top + yy);
                    }
                }
                x += gw + 2;
            }
            x += 8 + static_cast<int>(rng() % 6);
        }
    }
    return b;
}

Bitmap make_pattern(const std::string& name, int width, int height) {
    if (name == "white")
        return all_white(width, height);
    if (name == "black")
        return all_black(width, height);
    if (name == "checker")
        return checkerboard(width, height, 8);
    if (name == "stripes")
        return vertical_stripes(width, height, 2);
    if (name == "startblack")
        return first_line_black(width, height);
    if (name == "longruns")
        return long_runs(width, height);
    if (name.rfind("text", 0) == 0) {
        return text_like(width, height, static_cast<uint32_t>(std::stoul(name.substr(4))));
    }
    return Bitmap(width, height);
}

bool write_pbm(const Bitmap& page, const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    out << "P4\n" << page.width << " " << page.height << "\n";
    out.write(reinterpret_cast<const char*>(page.bits.data()),
              static_cast<std::streamsize>(page.bits.size()));
    return static_cast<bool>(out);
}

bool read_pbm(const std::string& path, Bitmap& page) {
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    in >> magic;
    if (magic != "P4")
        return false;
    auto next_number = [&in](int& v) {
        in >> std::ws;
        while (in.peek() == '#') {
            std::string comment;
            std::getline(in, comment);
            in >> std::ws;
        }
        in >> v;
        return static_cast<bool>(in);
    };
    int w = 0, h = 0;
    if (!next_number(w) || !next_number(h) || w <= 0 || h <= 0)
        return false;
    in.get();  // the single white-space byte after the header
    page = Bitmap(w, h);
    in.read(reinterpret_cast<char*>(page.bits.data()),
            static_cast<std::streamsize>(page.bits.size()));
    return in.gcount() == static_cast<std::streamsize>(page.bits.size());
}

int first_difference(const Bitmap& a, const Bitmap& b) {
    if (a.width != b.width)
        return 0;
    const Bitmap na = a.normalised(), nb = b.normalised();
    const int rows = std::min(a.height, b.height);
    for (int y = 0; y < rows; ++y) {
        if (std::memcmp(na.row(y), nb.row(y), static_cast<size_t>(a.row_bytes())) != 0)
            return y;
    }
    return a.height == b.height ? -1 : rows;
}

}  // namespace trelvane::testsupport
