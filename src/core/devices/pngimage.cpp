// PNG decoding with libpng. libpng reports errors by longjmp, so the function that calls into it
// keeps only trivially destructible locals; the pixel and row buffers belong to its caller and
// a jump never skips a destructor.
#include "core/devices/pngimage.h"

#include <png.h>

#include <sys/stat.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr size_t kMaxChunkBytes = 8u * 1024u * 1024u;  // largest ancillary chunk libpng may hold

struct TPngSource {
    const uint8_t* Data;
    size_t Size;
    size_t Pos;
    char Error[200];
};

void SetError(TPngSource& source, const char* text)
{
    std::snprintf(source.Error, sizeof source.Error, "%s", text ? text : "PNG error");
}

[[noreturn]] void OnPngError(png_structp png, png_const_charp message)
{
    SetError(*static_cast<TPngSource*>(png_get_error_ptr(png)), message);
    png_longjmp(png, 1);
}

// Damaged ancillary chunks are dropped by libpng itself; the picture still shows.
void OnPngWarning(png_structp, png_const_charp) {}

void ReadFromMemory(png_structp png, png_bytep out, size_t count)
{
    auto* source = static_cast<TPngSource*>(png_get_io_ptr(png));
    if (count > source->Size - source->Pos)
        png_error(png, "file is truncated");
    std::memcpy(out, source->Data + source->Pos, count);
    source->Pos += count;
}

bool DecodeInto(TPngSource& source, TPngImage& image, std::vector<png_bytep>& rows)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, OnPngError, OnPngWarning);
    if (!png) {
        SetError(source, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        SetError(source, "out of memory");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }

    png_set_read_fn(png, &source, ReadFromMemory);
    png_set_user_limits(png, kPngMaxSide, kPngMaxSide);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    png_read_info(png, info);

    png_uint_32 width = 0, height = 0;
    int depth = 0, colourType = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colourType, nullptr, nullptr, nullptr);

    // Whatever the file holds becomes 8-bit RGBA: palettes and small grey depths expand,
    // tRNS turns into alpha, 16-bit samples are scaled down, grey is copied into R, G and B.
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    const size_t stride = size_t(width) * 4;
    if (png_get_rowbytes(png, info) != stride)
        png_error(png, "unexpected row layout");
    // png_error jumps, so it must not be called from inside the handler: a jump out of a catch
    // block would leave the exception behind, never ended.
    bool allocated = true;
    try {
        image.Rgba.resize(stride * height);
        rows.resize(height);
    } catch (const std::bad_alloc&) {
        allocated = false;
    }
    if (!allocated)
        png_error(png, "out of memory");
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = image.Rgba.data() + size_t(y) * stride;
    image.Width = width;
    image.Height = height;

    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

} // namespace

TPngResult DecodePng(const uint8_t* data, size_t size)
{
    TPngResult result;
    if (!data || size < 8 || png_sig_cmp(data, 0, 8) != 0) {
        result.Error = "not a PNG file";
        return result;
    }
    if (size > kPngMaxFileBytes) {
        result.Error = "file is too large";
        return result;
    }
    TPngSource source{data, size, 0, {}};
    std::vector<png_bytep> rows;
    if (DecodeInto(source, result.Image, rows)) {
        result.Ok = true;
    } else {
        result.Error = source.Error;
        result.Image = TPngImage{};  // never hand out a half-decoded picture
    }
    return result;
}

TPngResult LoadPngFile(const std::string& path)
{
    TPngResult result;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        result.Error = std::string("cannot open file: ") + std::strerror(errno);
        return result;
    }
    struct stat st {};
    if (fstat(fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) {
        std::fclose(file);
        result.Error = "not a regular file";
        return result;
    }
    if (uint64_t(st.st_size) > kPngMaxFileBytes) {
        std::fclose(file);
        result.Error = "file is too large";
        return result;
    }
    std::vector<uint8_t> bytes(size_t(st.st_size));
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
    // A file that shrank while being read decodes as what was read (and fails as truncated).
    return DecodePng(bytes.data(), got);
}
