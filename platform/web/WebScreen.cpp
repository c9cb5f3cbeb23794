#include "platform/web/WebScreen.h"

#include "platform/display/Surface.h"
#include "platform/web/WebPage.h"

WebScreen::WebScreen() : width(0), height(0) {}

void WebScreen::Start(int newWidth, int newHeight) {
    width = newWidth;
    height = newHeight;
    rgba.assign(static_cast<size_t>(width) * height, 0xFF000000u);
    changes.Forget();
    pending.clear();
    WebPage::StartPicture(width, height);
}

void WebScreen::Prepare(const Surface& picture) {
    if (picture.width != width || picture.height != height) return;
    const std::vector<RowBand>& bands =
        changes.Compare(picture.pixels.data(), picture.width, picture.height);
    for (const RowBand& band : bands) {
        const uint32_t* from = picture.pixels.data() + static_cast<size_t>(band.first) * width;
        const uint32_t* end = picture.pixels.data() + static_cast<size_t>(band.end) * width;
        uint32_t* to = rgba.data() + static_cast<size_t>(band.first) * width;
        // 0x00RRGGBB to the bytes R, G, B, A of a little-endian word.
        for (; from != end; ++from, ++to) {
            const uint32_t p = *from;
            *to = 0xFF000000u | ((p & 0xFFu) << 16) | (p & 0xFF00u) | ((p >> 16) & 0xFFu);
        }
        pending.push_back(band);
    }
}

void WebScreen::Present() {
    for (const RowBand& band : pending) {
        WebPage::PutRows(rgba.data(), width, band.first, band.end);
    }
    pending.clear();
}
