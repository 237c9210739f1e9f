// PNG files through libpng's simplified API, which reports errors through a
// message buffer instead of longjmp, so no C++ object is skipped over.
#include "image.h"

#include <algorithm>
#include <cstring>

#include <png.h>

#include "errors.h"

namespace crumpletool {

void WritePng(const Image& image, const std::string& path) {
    png_image png;
    std::memset(&png, 0, sizeof(png));
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(static_cast<size_t>(image.width) * image.height * 3);
    for (size_t p = 0; p < rgb.size() / 3; ++p) std::memcpy(&rgb[p * 3], &image.rgba[p * 4], 3);
    if (!png_image_write_to_file(&png, path.c_str(), 0, rgb.data(), 0, nullptr)) {
        const std::string reason = png.message;
        png_image_free(&png);
        throw OutputError("cannot write '" + path + "': " + reason);
    }
}

Image ReadPng(const std::string& path) {
    png_image png;
    std::memset(&png, 0, sizeof(png));
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        throw InputError("cannot read '" + path + "': " + png.message);
    png.format = PNG_FORMAT_RGBA;
    Image image(static_cast<int>(png.width), static_cast<int>(png.height));
    if (!png_image_finish_read(&png, nullptr, image.rgba.data(), 0, nullptr)) {
        const std::string reason = png.message;
        png_image_free(&png);
        throw InputError("cannot read '" + path + "': " + reason);
    }
    return image;
}

Image SideBySide(const Image& left, const Image& right, int gap, const uint8_t gapColor[3]) {
    Image out(left.width + gap + right.width, std::max(left.height, right.height));
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < out.width; ++x) {
            uint8_t* p = out.At(x, y);
            const uint8_t* source = nullptr;
            if (x < left.width && y < left.height) source = left.At(x, y);
            else if (x >= left.width + gap && y < right.height) source = right.At(x - left.width - gap, y);
            if (source) {
                std::memcpy(p, source, 4);
            } else {
                std::memcpy(p, gapColor, 3);
                p[3] = 255;
            }
        }
    }
    return out;
}

}  // namespace crumpletool
