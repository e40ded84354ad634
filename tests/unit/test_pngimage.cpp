// Device picture decoding: every PNG colour type and depth comes out as the right RGBA pixels;
// damaged files fail cleanly with no pixels.
#include "core/devices/pngimage.h"

#include "core/app/settings.h"
#include "core/devices/product.h"

#include <png.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct TSpec {
    uint32_t Width, Height;
    int ColourType, Depth;
    bool Interlaced;
    std::vector<std::vector<uint8_t>> Rows;  // packed as the file stores them
    std::vector<png_color> Palette;
    std::vector<uint8_t> PaletteAlpha;       // tRNS of a palette
};

void WriteToVector(png_structp png, png_bytep data, size_t size)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + size);
}

// Encodes a picture with libpng's writer; the expectations below are worked out by hand.
std::vector<uint8_t> Encode(const TSpec& s)
{
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        ADD_FAILURE() << "test encoder failed";
        return {};
    }
    png_set_write_fn(png, &out, WriteToVector, nullptr);
    png_set_IHDR(png, info, s.Width, s.Height, s.Depth, s.ColourType,
                 s.Interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!s.Palette.empty())
        png_set_PLTE(png, info, s.Palette.data(), int(s.Palette.size()));
    if (!s.PaletteAlpha.empty())
        png_set_tRNS(png, info, s.PaletteAlpha.data(), int(s.PaletteAlpha.size()), nullptr);
    png_write_info(png, info);
    std::vector<png_bytep> rows;
    for (const auto& r : s.Rows)
        rows.push_back(const_cast<png_bytep>(r.data()));
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

using Pixel = std::vector<uint8_t>;  // R, G, B, A

Pixel At(const TPngImage& image, uint32_t x, uint32_t y)
{
    const size_t i = (size_t(y) * image.Width + x) * 4;
    return {image.Rgba[i], image.Rgba[i + 1], image.Rgba[i + 2], image.Rgba[i + 3]};
}

TPngImage MustDecode(const std::vector<uint8_t>& file)
{
    TPngResult r = DecodePng(file.data(), file.size());
    EXPECT_TRUE(r.Ok) << r.Error;
    EXPECT_EQ(r.Image.Rgba.size(), size_t(r.Image.Width) * r.Image.Height * 4);
    return r.Image;
}

void ExpectFails(const std::vector<uint8_t>& file, const std::string& why)
{
    TPngResult r = DecodePng(file.data(), file.size());
    EXPECT_FALSE(r.Ok) << why;
    EXPECT_FALSE(r.Error.empty()) << why;
    EXPECT_TRUE(r.Image.Rgba.empty()) << why;
    EXPECT_EQ(r.Image.Width, 0u) << why;
}

void Put32(std::vector<uint8_t>& v, uint32_t x)
{
    for (int s = 24; s >= 0; s -= 8)
        v.push_back(uint8_t(x >> s));
}

// A chunk with a correct CRC, so only the content can be wrong.
void PutChunk(std::vector<uint8_t>& v, const char* type, const std::vector<uint8_t>& data)
{
    Put32(v, uint32_t(data.size()));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    v.insert(v.end(), body.begin(), body.end());
    Put32(v, uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

// A hand-built file: IHDR, one IDAT holding zlib-compressed raw rows, IEND.
std::vector<uint8_t> HandBuilt(uint32_t width, uint32_t height, uint8_t depth, uint8_t colourType,
                               const std::vector<uint8_t>& idat)
{
    std::vector<uint8_t> v{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> ihdr;
    Put32(ihdr, width);
    Put32(ihdr, height);
    ihdr.insert(ihdr.end(), {depth, colourType, 0, 0, 0});
    PutChunk(v, "IHDR", ihdr);
    PutChunk(v, "IDAT", idat);
    PutChunk(v, "IEND", {});
    return v;
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& raw)
{
    uLongf size = compressBound(uLong(raw.size()));
    std::vector<uint8_t> out(size);
    EXPECT_EQ(compress(out.data(), &size, raw.data(), uLong(raw.size())), Z_OK);
    out.resize(size);
    return out;
}

std::vector<uint8_t> GreyRows(uint32_t width, uint32_t height)  // 8-bit grey, filter 0, all 0x40
{
    std::vector<uint8_t> raw;
    for (uint32_t y = 0; y < height; ++y) {
        raw.push_back(0);
        raw.insert(raw.end(), width, 0x40);
    }
    return raw;
}

} // namespace

TEST(PngImage, EveryColourTypeAndDepthGivesRgba)
{
    struct TCase {
        const char* Why;
        TSpec Spec;
        std::vector<Pixel> Expected;  // first row, left to right
    };
    const std::vector<TCase> cases = {
        {"palette 8-bit, tRNS on entry 1",
         {3, 1, PNG_COLOR_TYPE_PALETTE, 8, false, {{0, 1, 2}}, {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}}, {255, 128}},
         {{255, 0, 0, 255}, {0, 255, 0, 128}, {0, 0, 255, 255}}},
        {"palette 1-bit, width not a multiple of 8",
         {9, 1, PNG_COLOR_TYPE_PALETTE, 1, false, {{0b10100000, 0b10000000}}, {{1, 2, 3}, {200, 201, 202}}, {}},
         {{200, 201, 202, 255}, {1, 2, 3, 255}, {200, 201, 202, 255}, {1, 2, 3, 255}, {1, 2, 3, 255},
          {1, 2, 3, 255}, {1, 2, 3, 255}, {1, 2, 3, 255}, {200, 201, 202, 255}}},
        {"palette 4-bit",
         {2, 1, PNG_COLOR_TYPE_PALETTE, 4, false, {{0x10}}, {{9, 9, 9}, {7, 8, 9}}, {}},
         {{7, 8, 9, 255}, {9, 9, 9, 255}}},
        {"grey 1-bit",
         {3, 1, PNG_COLOR_TYPE_GRAY, 1, false, {{0b01000000}}, {}, {}},
         {{0, 0, 0, 255}, {255, 255, 255, 255}, {0, 0, 0, 255}}},
        {"grey 2-bit scales 1 to 0x55",
         {2, 1, PNG_COLOR_TYPE_GRAY, 2, false, {{0b01110000}}, {}, {}},
         {{0x55, 0x55, 0x55, 255}, {255, 255, 255, 255}}},
        {"grey 4-bit scales 5 to 0x55",
         {2, 1, PNG_COLOR_TYPE_GRAY, 4, false, {{0x5A}}, {}, {}},
         {{0x55, 0x55, 0x55, 255}, {0xAA, 0xAA, 0xAA, 255}}},
        {"grey 16-bit keeps the high byte's worth",
         {3, 1, PNG_COLOR_TYPE_GRAY, 16, false, {{0xFF, 0xFF, 0x80, 0x80, 0x00, 0x00}}, {}, {}},
         {{255, 255, 255, 255}, {0x80, 0x80, 0x80, 255}, {0, 0, 0, 255}}},
        {"grey + alpha 8-bit",
         {2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, {{10, 20, 30, 40}}, {}, {}},
         {{10, 10, 10, 20}, {30, 30, 30, 40}}},
        {"grey + alpha 16-bit",
         {1, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 16, false, {{0x40, 0x40, 0xFF, 0xFF}}, {}, {}},
         {{0x40, 0x40, 0x40, 255}}},
        {"RGB 8-bit",
         {2, 1, PNG_COLOR_TYPE_RGB, 8, false, {{1, 2, 3, 4, 5, 6}}, {}, {}},
         {{1, 2, 3, 255}, {4, 5, 6, 255}}},
        {"RGB 16-bit",
         {1, 1, PNG_COLOR_TYPE_RGB, 16, false, {{0xFF, 0xFF, 0x00, 0x00, 0x80, 0x80}}, {}, {}},
         {{255, 0, 0x80, 255}}},
        {"RGBA 8-bit",
         {1, 1, PNG_COLOR_TYPE_RGBA, 8, false, {{9, 8, 7, 6}}, {}, {}},
         {{9, 8, 7, 6}}},
        {"RGBA 16-bit",
         {1, 1, PNG_COLOR_TYPE_RGBA, 16, false, {{0x10, 0x10, 0x20, 0x20, 0x30, 0x30, 0, 0}}, {}, {}},
         {{0x10, 0x20, 0x30, 0}}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Why);
        const TPngImage image = MustDecode(Encode(c.Spec));
        ASSERT_EQ(image.Width, c.Spec.Width);
        ASSERT_EQ(image.Height, c.Spec.Height);
        for (uint32_t x = 0; x < c.Expected.size(); ++x)
            EXPECT_EQ(At(image, x, 0), c.Expected[x]) << "pixel " << x;
    }
}

TEST(PngImage, InterlacedDecodesLikePlain)
{
    // 13 x 11 covers every Adam7 pass with partial blocks; each pixel is different.
    for (int colourType : {PNG_COLOR_TYPE_RGB, PNG_COLOR_TYPE_PALETTE}) {
        SCOPED_TRACE(colourType);
        TSpec s{13, 11, colourType, 8, false, {}, {}, {}};
        for (uint32_t y = 0; y < s.Height; ++y) {
            std::vector<uint8_t> row;
            for (uint32_t x = 0; x < s.Width; ++x) {
                const uint8_t v = uint8_t(y * s.Width + x);
                if (colourType == PNG_COLOR_TYPE_RGB)
                    row.insert(row.end(), {v, uint8_t(255 - v), uint8_t(x * 16)});
                else
                    row.push_back(v);
            }
            s.Rows.push_back(row);
        }
        if (colourType == PNG_COLOR_TYPE_PALETTE)
            for (int i = 0; i < 256; ++i)
                s.Palette.push_back({uint8_t(i), uint8_t(255 - i), uint8_t(i / 2)});
        const TPngImage plain = MustDecode(Encode(s));
        s.Interlaced = true;
        const std::vector<uint8_t> file = Encode(s);
        const TPngImage interlaced = MustDecode(file);
        EXPECT_EQ(interlaced.Width, 13u);
        EXPECT_EQ(interlaced.Rgba, plain.Rgba);
        const uint8_t last = uint8_t(10 * 13 + 12);
        EXPECT_EQ(At(interlaced, 12, 10)[0], last);
    }
}

TEST(PngImage, DamagedFilesFailCleanly)
{
    const std::vector<uint8_t> good = HandBuilt(4, 3, 8, 0, Deflate(GreyRows(4, 3)));
    ASSERT_TRUE(DecodePng(good.data(), good.size()).Ok);

    ExpectFails({}, "empty");
    ExpectFails({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A}, "seven bytes of signature");
    ExpectFails(std::vector<uint8_t>(good.begin(), good.begin() + 8), "signature only");
    std::vector<uint8_t> gif{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0, 0, 0};
    ExpectFails(gif, "another format");

    // Every prefix of a good file is a truncated file.
    for (size_t n = 0; n < good.size(); ++n) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + long(n));
        ExpectFails(cut, "truncated to " + std::to_string(n) + " bytes");
    }

    std::vector<uint8_t> badCrc = good;
    badCrc[8 + 8 + 13] ^= 0x01;  // IHDR's CRC
    ExpectFails(badCrc, "IHDR CRC");

    std::vector<uint8_t> badIdatCrc = good;
    badIdatCrc[badIdatCrc.size() - 12 - 1] ^= 0x80;  // last byte of IDAT's CRC
    ExpectFails(badIdatCrc, "IDAT CRC");

    ExpectFails(HandBuilt(0, 3, 8, 0, Deflate(GreyRows(0, 3))), "zero width");
    ExpectFails(HandBuilt(4, 3, 7, 0, Deflate(GreyRows(4, 3))), "bit depth 7");
    ExpectFails(HandBuilt(4, 3, 8, 5, Deflate(GreyRows(4, 3))), "colour type 5");
    ExpectFails(HandBuilt(4, 3, 8, 3, Deflate(GreyRows(4, 3))), "palette picture without a palette");
    ExpectFails(HandBuilt(4, 3, 8, 0, {1, 2, 3, 4, 5, 6, 7, 8}), "IDAT that is not zlib data");
    ExpectFails(HandBuilt(4, 3, 8, 0, Deflate(GreyRows(4, 1))), "too few rows in IDAT");
    std::vector<uint8_t> badFilter = GreyRows(4, 3);
    badFilter[0] = 9;
    ExpectFails(HandBuilt(4, 3, 8, 0, Deflate(badFilter)), "unknown row filter");
}

TEST(PngImage, SideLimit)
{
    // N and N+1 on both sides; a huge declared size fails before any pixel memory is taken.
    const std::vector<uint8_t> widest = HandBuilt(kPngMaxSide, 1, 8, 0, Deflate(GreyRows(kPngMaxSide, 1)));
    EXPECT_TRUE(DecodePng(widest.data(), widest.size()).Ok);
    ExpectFails(HandBuilt(kPngMaxSide + 1, 1, 8, 0, Deflate(GreyRows(kPngMaxSide + 1, 1))), "one column too wide");
    ExpectFails(HandBuilt(1, kPngMaxSide + 1, 8, 0, Deflate(GreyRows(1, kPngMaxSide + 1))), "one row too high");
    ExpectFails(HandBuilt(0x7FFFFFFF, 0x7FFFFFFF, 8, 6, Deflate({0})), "2^31-1 square");
}

TEST(PngImage, FilesOnDisk)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("pyxet-png-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::vector<uint8_t> good = HandBuilt(2, 2, 8, 0, Deflate(GreyRows(2, 2)));
    {
        std::ofstream(dir / "good.png", std::ios::binary).write(reinterpret_cast<const char*>(good.data()), long(good.size()));
    }
    TPngResult ok = LoadPngFile((dir / "good.png").string());
    ASSERT_TRUE(ok.Ok) << ok.Error;
    EXPECT_EQ(At(ok.Image, 1, 1), (Pixel{0x40, 0x40, 0x40, 255}));

    EXPECT_FALSE(LoadPngFile((dir / "missing.png").string()).Ok);
    EXPECT_FALSE(LoadPngFile(dir.string()).Ok) << "a folder";

    // A sparse file one byte over the limit is refused by its size alone.
    std::filesystem::copy_file(dir / "good.png", dir / "big.png");
    std::filesystem::resize_file(dir / "big.png", kPngMaxFileBytes + 1);
    TPngResult big = LoadPngFile((dir / "big.png").string());
    EXPECT_FALSE(big.Ok);
    EXPECT_NE(big.Error.find("too large"), std::string::npos) << big.Error;
    std::filesystem::resize_file(dir / "big.png", kPngMaxFileBytes);
    TPngResult atLimit = LoadPngFile((dir / "big.png").string());
    EXPECT_TRUE(atLimit.Ok) << "bytes after IEND are ignored: " << atLimit.Error;

    std::filesystem::remove_all(dir);
}

TEST(PngImage, EveryBuiltInTypeHasAPicture)
{
    // The pictures ship in several PNG forms; each must decode at the size the window shows.
    for (const char* table : {kBuiltInOrvexTable, kBuiltInHwgTable}) {
        const TProductTable entries = SplitCommaText(table);
        ASSERT_FALSE(entries.empty());
        for (const std::string& entry : entries) {
            const std::string code = entry.substr(0, entry.find('='));
            const std::string name = ProductTypeName(entries, std::stoi(code));
            SCOPED_TRACE(name);
            const TPngResult r = LoadPngFile(std::string(PYXET_SOURCE_DIR) + "/images/" + name + ".png");
            ASSERT_TRUE(r.Ok) << r.Error;
            EXPECT_EQ(r.Image.Width, 250u);
            EXPECT_EQ(r.Image.Height, 220u);
        }
    }
}
