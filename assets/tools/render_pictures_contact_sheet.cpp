// Lays every picture of the pack out on one PNG, each with its file name, for looking the pack
// over at a glance. Wide pictures are shown at half size.
//
//   render_pictures_contact_sheet out.png picture.bmp...

#include <cairo.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "render_pictures_bmp.h"

namespace {

constexpr int SheetWidth = 1640;
constexpr int Margin = 20;
constexpr int LabelHeight = 24;

struct Placed {
    std::string name;
    PackPicture picture;
    double scale = 1.0;
    int x = 0, y = 0, w = 0, h = 0;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: render_pictures_contact_sheet out.png picture.bmp...\n");
        return 1;
    }
    std::vector<Placed> items;
    for (int i = 2; i < argc; ++i) {
        Placed item;
        const std::string path = argv[i];
        item.name = path.substr(path.find_last_of('/') + 1);
        if (!ReadPackBmp(path, item.picture)) {
            std::fprintf(stderr, "render_pictures_contact_sheet: cannot read %s\n", path.c_str());
            return 1;
        }
        item.scale = item.picture.width > 800 ? 0.5 : 1.0;
        item.w = static_cast<int>(item.picture.width * item.scale);
        item.h = static_cast<int>(item.picture.height * item.scale);
        items.push_back(std::move(item));
    }

    // Shelf layout: left to right, a new row when the next picture does not fit.
    int x = Margin, y = Margin, rowHeight = 0;
    for (Placed& item : items) {
        if (x > Margin && x + item.w > SheetWidth - Margin) {
            x = Margin;
            y += rowHeight + LabelHeight + Margin;
            rowHeight = 0;
        }
        item.x = x;
        item.y = y;
        x += std::max(item.w, 250) + Margin;
        rowHeight = std::max(rowHeight, item.h);
    }
    const int sheetHeight = y + rowHeight + LabelHeight + Margin;

    cairo_surface_t* sheet =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, SheetWidth, sheetHeight);
    cairo_t* cr = cairo_create(sheet);
    cairo_set_source_rgb(cr, 0.25, 0.25, 0.28);
    cairo_paint(cr);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 14);
    for (const Placed& item : items) {
        const PackPicture& p = item.picture;
        cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, p.width, p.height);
        cairo_surface_flush(image);
        unsigned char* data = cairo_image_surface_get_data(image);
        const int stride = cairo_image_surface_get_stride(image);
        for (int py = 0; py < p.height; ++py) {
            uint32_t* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(stride) * py);
            for (int px = 0; px < p.width; ++px) row[px] = p.Pixel(px, py);
        }
        cairo_surface_mark_dirty(image);
        cairo_save(cr);
        cairo_translate(cr, item.x, item.y);
        cairo_scale(cr, item.scale, item.scale);
        cairo_set_source_surface(cr, image, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
        cairo_paint(cr);
        cairo_restore(cr);
        cairo_surface_destroy(image);

        std::string label =
            item.name + "  " + std::to_string(p.width) + "x" + std::to_string(p.height);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_move_to(cr, item.x, item.y + item.h + 17);
        cairo_show_text(cr, label.c_str());
    }
    cairo_destroy(cr);
    const cairo_status_t status = cairo_surface_write_to_png(sheet, argv[1]);
    cairo_surface_destroy(sheet);
    if (status != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "render_pictures_contact_sheet: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
