// RGBA images and PNG files through libpng.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace crumpletool {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgba;  // rows top to bottom, 4 bytes a pixel

    Image() = default;
    Image(int w, int h) : width(w), height(h), rgba(static_cast<size_t>(w) * h * 4, 0) {}
    uint8_t* At(int x, int y) { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
    const uint8_t* At(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};

// Writes an 8-bit RGB PNG (the alpha channel is dropped). Throws OutputError.
void WritePng(const Image& image, const std::string& path);
// Reads any 8-bit PNG as RGBA. Throws InputError.
Image ReadPng(const std::string& path);

// `left` and `right` side by side, with a `gap`-pixel bar of `gapColor` between.
Image SideBySide(const Image& left, const Image& right, int gap, const uint8_t gapColor[3]);

}  // namespace crumpletool
