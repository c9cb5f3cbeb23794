// Renders one hand-written SVG picture into the 24-bit .bmp file that the game loads.
//
//   render_pictures --keyed|--opaque WIDTH HEIGHT in.svg out.bmp
//
// --keyed: the picture is drawn over nothing and every pixel less than half covered becomes the
// game's transparent key, pure green 0x00FF00. Covered pixels keep their own (un-premultiplied)
// colour, so antialiased edges take the dark outline colour instead of a green fringe.
// --opaque: the SVG must cover every pixel.
// In both modes a drawn pixel that happens to be exactly the key is nudged to 0x00FE00.
//
// Every font family named in the SVG must be installed: fontconfig would otherwise quietly put
// another font in its place and the pack would come out different on another machine.

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <librsvg/rsvg.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "render_pictures_bmp.h"

namespace {

constexpr uint32_t KeyColour = 0x00FF00;
constexpr uint32_t NudgedKeyColour = 0x00FE00;

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    const char* blank = " \t\r\n'\"";
    const size_t first = s.find_first_not_of(blank);
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(blank) - first + 1);
}

// The first family of every font-family attribute or CSS property in the file.
std::set<std::string> NamedFontFamilies(const std::string& svg) {
    std::set<std::string> families;
    const std::string property = "font-family";
    for (size_t at = svg.find(property); at != std::string::npos;
         at = svg.find(property, at + property.size())) {
        size_t p = at + property.size();
        while (p < svg.size() && std::strchr(" \t=:", svg[p])) ++p;
        const char quote = p < svg.size() && (svg[p] == '"' || svg[p] == '\'') ? svg[p] : 0;
        if (quote) ++p;
        size_t end = p;
        while (end < svg.size() && svg[end] != ',' && svg[end] != ';' && svg[end] != '}' &&
               svg[end] != '\n' && svg[end] != quote && !(quote == 0 && svg[end] == '"'))
            ++end;
        const std::string family = Trim(svg.substr(p, end - p));
        if (!family.empty()) families.insert(family);
    }
    return families;
}

bool FontFamilyInstalled(const std::string& family, std::string& found) {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family.c_str()));
    if (!pattern) return false;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    bool installed = false;
    if (match) {
        FcChar8* name = nullptr;
        for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch; ++i) {
            const std::string matched = reinterpret_cast<const char*>(name);
            if (i == 0) found = matched;
            if (Lower(matched) == Lower(family)) installed = true;
        }
        FcPatternDestroy(match);
    }
    return installed;
}

uint32_t Unpremultiply(uint32_t argb) {
    const uint32_t a = argb >> 24;
    auto channel = [&](int shift) {
        const uint32_t c = (argb >> shift) & 0xFF;
        return std::min<uint32_t>(255, (c * 255 + a / 2) / a);
    };
    return (channel(16) << 16) | (channel(8) << 8) | channel(0);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "render_pictures: %s\n", message.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6 ||
        (std::strcmp(argv[1], "--keyed") != 0 && std::strcmp(argv[1], "--opaque") != 0))
        return Fail("usage: render_pictures --keyed|--opaque WIDTH HEIGHT in.svg out.bmp");
    const bool keyed = std::strcmp(argv[1], "--keyed") == 0;
    const int width = std::atoi(argv[2]);
    const int height = std::atoi(argv[3]);
    const std::string input = argv[4];
    const std::string output = argv[5];
    if (width <= 0 || height <= 0) return Fail("bad size");

    std::ifstream file(input, std::ios::binary);
    if (!file) return Fail("cannot read " + input);
    std::stringstream text;
    text << file.rdbuf();
    for (const std::string& family : NamedFontFamilies(text.str())) {
        std::string found;
        if (!FontFamilyInstalled(family, found))
            return Fail(input + ": font family '" + family +
                        "' is not installed (fontconfig offers '" + found +
                        "'); install the font package listed in scripts/debian-packages.txt");
    }

    GError* error = nullptr;
    RsvgHandle* handle = rsvg_handle_new_from_file(input.c_str(), &error);
    if (!handle) {
        const std::string why = error ? error->message : "unknown error";
        if (error) g_error_free(error);
        return Fail(input + ": " + why);
    }
    rsvg_handle_set_dpi(handle, 96.0);
    gdouble svgWidth = 0, svgHeight = 0;
    if (!rsvg_handle_get_intrinsic_size_in_pixels(handle, &svgWidth, &svgHeight) ||
        std::lround(svgWidth) != width || std::lround(svgHeight) != height) {
        g_object_unref(handle);
        return Fail(input + ": the SVG's width and height must be " + std::to_string(width) +
                    " x " + std::to_string(height) + " pixels");
    }

    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    const RsvgRectangle viewport = {0.0, 0.0, static_cast<double>(width),
                                    static_cast<double>(height)};
    const bool rendered = rsvg_handle_render_document(handle, cr, &viewport, &error);
    cairo_destroy(cr);
    g_object_unref(handle);
    if (!rendered) {
        const std::string why = error ? error->message : "unknown error";
        if (error) g_error_free(error);
        cairo_surface_destroy(surface);
        return Fail(input + ": " + why);
    }
    cairo_surface_flush(surface);

    PackPicture picture;
    picture.width = width;
    picture.height = height;
    picture.pixels.resize(static_cast<size_t>(width) * height);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    std::string problem;
    for (int y = 0; y < height && problem.empty(); ++y) {
        const uint32_t* row =
            reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(stride) * y);
        for (int x = 0; x < width; ++x) {
            const uint32_t argb = row[x];
            const uint32_t alpha = argb >> 24;
            uint32_t colour;
            if (!keyed && alpha != 255) {
                problem = "opaque picture not covered at (" + std::to_string(x) + ", " +
                          std::to_string(y) + ")";
                break;
            }
            if (alpha < 128) {
                colour = KeyColour;
            } else {
                colour = Unpremultiply(argb);
                if (colour == KeyColour) colour = NudgedKeyColour;
            }
            picture.pixels[static_cast<size_t>(y) * width + x] = colour;
        }
    }
    cairo_surface_destroy(surface);
    if (!problem.empty()) return Fail(input + ": " + problem);
    if (!WritePackBmp(output, picture)) return Fail("cannot write " + output);
    return 0;
}
