#include "png_writer.h"

#include <png.h>

#include <cstdio>
#include <vector>

namespace drvrun {

namespace {

// A component under `mask`, scaled to 8 bits.
uint8_t component(uint32_t pixel, uint32_t mask) {
    if (!mask)
        return 0;
    int shift = 0;
    while (!((mask >> shift) & 1))
        shift++;
    uint32_t max = mask >> shift;
    return static_cast<uint8_t>(((pixel & mask) >> shift) * 255u / max);
}

void decode(uint32_t pixel, const VisualRec *v, uint8_t *rgb) {
    if (v && v->class_ == 4) {
        rgb[0] = component(pixel, v->redMask);
        rgb[1] = component(pixel, v->greenMask);
        rgb[2] = component(pixel, v->blueMask);
        return;
    }
    rgb[0] = component(pixel, 0xE0);
    rgb[1] = component(pixel, 0x1C);
    rgb[2] = component(pixel, 0x03);
}

// libpng's messages are kept for the caller instead of printed: the report
// says what went wrong on one line of its own.
void keepError(png_structp png, png_const_charp message) {
    if (auto *kept = static_cast<std::string *>(png_get_error_ptr(png)))
        kept->assign(message ? message : "error");
    png_longjmp(png, 1);
}

void ignoreWarning(png_structp, png_const_charp) {}

} // namespace

namespace {

// The part libpng may leave by longjmp: nothing here has a destructor.
bool writeImage(png_structp png, png_infop info, FILE *file, const ref::Canvas &screen,
                const VisualRec *visual, uint8_t *rgb) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(screen.width),
                 static_cast<png_uint_32>(screen.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < screen.height; y++) {
        for (int x = 0; x < screen.width; x++)
            decode(screen.get(x, y), visual, &rgb[static_cast<size_t>(x) * 3]);
        png_write_row(png, rgb);
    }
    png_write_end(png, nullptr);
    return true;
}

} // namespace

bool writePng(FILE *file, const ref::Canvas &screen, const VisualRec *visual, std::string &error) {
    error.clear();
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, keepError, ignoreWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        error = "libpng could not start";
        return false;
    }
    std::vector<uint8_t> rgb(static_cast<size_t>(screen.width) * 3);
    bool written = writeImage(png, info, file, screen, visual, rgb.data());
    png_destroy_write_struct(&png, &info);
    if (!written && error.empty())
        error = "failed to write the picture";
    return written;
}

} // namespace drvrun
