// Decoding of the device pictures (PNG files beside the program) into plain 8-bit RGBA pixels.
// Window-free: the list view turns the pixels into a picture of its own.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TPngImage {
    uint32_t Width = 0;
    uint32_t Height = 0;
    std::vector<uint8_t> Rgba;  // Width * Height * 4 bytes, rows top to bottom, not premultiplied
};

struct TPngResult {
    bool Ok = false;
    std::string Error;  // why decoding failed (libpng's words or a size/IO reason), "" when Ok
    TPngImage Image;
};

// Limits that keep a hostile or damaged file from taking the program's memory: the pictures are
// 250 x 220, so anything near these is not a device picture.
constexpr uint32_t kPngMaxSide = 4096;
constexpr size_t kPngMaxFileBytes = 16u * 1024u * 1024u;

// Every colour type (palette, grey, grey+alpha, RGB, RGBA), every bit depth (1 to 16) and
// interlaced files decode to RGBA; tRNS transparency becomes alpha. A corrupt, truncated or
// oversized file gives Ok false with a reason, never a crash and never a partial picture.
TPngResult DecodePng(const uint8_t* data, size_t size);
TPngResult LoadPngFile(const std::string& path);
