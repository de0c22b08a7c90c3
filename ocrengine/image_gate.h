// Reading an image file for recognition: type by content, limits checked on the header before
// anything is decoded, then decoding with Leptonica. Knows nothing of Tesseract or logging.
#ifndef ZANTREL_IMAGE_GATE_H
#define ZANTREL_IMAGE_GATE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct Pix;

namespace zantrel {

constexpr size_t kMaxFileBytes = size_t{64} << 20;  // a 600-dpi page scan is well below; bigger is refused unread
constexpr int32_t kMaxSide = 32767;                 // Tesseract refuses wider or taller images itself
constexpr int64_t kMaxPixels = 40000000;            // a 600-dpi A4 page is 35 MP; more is a decompression bomb

enum class ImageFormat { kUnknown, kPng, kJpeg, kTiff, kBmp, kWebp };

// @return the format the leading bytes announce; kUnknown for anything else, short data included.
ImageFormat sniffFormat(const uint8_t* data, size_t size);

struct ImageHeader {
  ImageFormat format = ImageFormat::kUnknown;
  int32_t width = 0;
  int32_t height = 0;
};

// Reads what the header promises, without decoding the pixels.
// @return "" when the image may be decoded; otherwise why it is refused.
std::string checkHeader(const uint8_t* data, size_t size, ImageHeader* header);

// Reads a regular file of at most kMaxFileBytes; never blocks on FIFOs or devices.
// @return "" on success; otherwise why the file cannot be read.
std::string readImageFile(const char* path, std::vector<uint8_t>* bytes);

// Reads, checks and decodes the image at `path`, dropping any alpha channel (blended over white).
// @return the image, to be destroyed with pixDestroy; null with `*reason` set when refused.
Pix* readImage(const char* path, std::string* reason);

}  // namespace zantrel

#endif
