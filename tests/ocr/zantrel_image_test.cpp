// Reading images for recognition: type by content, limits from the header, files that are no images.
#include <allheaders.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "image_gate.h"

namespace {

using zantrel::ImageFormat;
using zantrel::ImageHeader;

std::string fixture(const std::string& name) { return std::string(OCR_TEST_FIXTURES) + "/" + name; }

std::vector<uint8_t> bytesOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void put32(std::vector<uint8_t>* out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*out)[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A BMP file header and BITMAPINFOHEADER followed by `pixelBytes` zero bytes.
std::vector<uint8_t> bmp(int32_t width, int32_t height, uint16_t bitsPerPixel, uint32_t compression,
                         size_t pixelBytes) {
  std::vector<uint8_t> out(54 + pixelBytes, 0);
  out[0] = 'B';
  out[1] = 'M';
  put32(&out, 2, static_cast<uint32_t>(out.size()));
  put32(&out, 10, 54);
  put32(&out, 14, 40);
  put32(&out, 18, static_cast<uint32_t>(width));
  put32(&out, 22, static_cast<uint32_t>(height));
  out[26] = 1;
  out[28] = static_cast<uint8_t>(bitsPerPixel);
  put32(&out, 30, compression);
  return out;
}

size_t rowBytes(int64_t width, int bitsPerPixel) { return static_cast<size_t>((width * bitsPerPixel + 31) / 32 * 4); }

std::string check(const std::vector<uint8_t>& data, ImageHeader* header = nullptr) {
  ImageHeader ignored;
  return zantrel::checkHeader(data.data(), data.size(), header ? header : &ignored);
}

TEST(SniffFormat, KnowsTheSupportedSignaturesOnly) {
  const struct {
    std::string bytes;
    ImageFormat format;
  } cases[] = {
      {std::string("\x89PNG\r\n\x1a\n", 8), ImageFormat::kPng},
      {"\xff\xd8\xff\xe0", ImageFormat::kJpeg},
      {std::string("II*\0", 4), ImageFormat::kTiff},
      {std::string("MM\0*", 4), ImageFormat::kTiff},
      {"BM", ImageFormat::kBmp},
      {std::string("RIFF\x10\0\0\0WEBPVP8 ", 16), ImageFormat::kWebp},
      {std::string("RIFF\x10\0\0\0WAVEfmt ", 16), ImageFormat::kUnknown},
      {"GIF89a", ImageFormat::kUnknown},
      {std::string("\x89PNG\r\n\x1a", 7), ImageFormat::kUnknown},
      {"RIFF", ImageFormat::kUnknown},
      {"", ImageFormat::kUnknown},
      {"B", ImageFormat::kUnknown},
  };
  for (const auto& c : cases) {
    const auto* data = reinterpret_cast<const uint8_t*>(c.bytes.data());
    EXPECT_EQ(zantrel::sniffFormat(data, c.bytes.size()), c.format) << c.bytes;
  }
}

TEST(CheckHeader, SidesAndPixelCountAreLimited) {
  ImageHeader header;
  EXPECT_EQ(check(bmp(32767, 1, 1, 0, rowBytes(32767, 1)), &header), "");
  EXPECT_EQ(header.width, 32767);
  EXPECT_EQ(check(bmp(32768, 1, 1, 0, rowBytes(32768, 1))), "image too large (32768x1 pixels)");
  EXPECT_EQ(check(bmp(1, 32768, 1, 0, 4 * 32768)), "image too large (1x32768 pixels)");
  EXPECT_EQ(check(bmp(6325, 6324, 1, 0, rowBytes(6325, 1) * 6324)), "");  // 39,999,300 pixels
  EXPECT_EQ(check(bmp(6325, 6325, 1, 0, rowBytes(6325, 1) * 6325)), "image too large (6325x6325 pixels)");
  EXPECT_EQ(check(bmp(0, 10, 24, 0, 0)), "image has no pixels (0x10)");
  EXPECT_EQ(check(bmp(-5, 10, 24, 0, 0)), "image has no pixels (-5x10)");
}

TEST(CheckHeader, TopDownBmpCountsItsRows) {
  ImageHeader header;
  EXPECT_EQ(check(bmp(8, -10, 24, 0, rowBytes(8, 24) * 10), &header), "");
  EXPECT_EQ(header.height, 10);
  EXPECT_EQ(check(bmp(8, INT32_MIN, 24, 0, 0)), "image too large (8x2147483648 pixels)");
}

TEST(CheckHeader, BmpThatLeptonicaCannotReadIsRefused) {
  EXPECT_EQ(check(bmp(16, 4, 8, 1, 64)), "RLE-compressed BMP cannot be read");
  EXPECT_EQ(check(bmp(16, 4, 4, 2, 64)), "RLE-compressed BMP cannot be read");
  EXPECT_EQ(check(bmp(16, 4, 32, 3, 256)), "compressed BMP cannot be read (compression 3)");
  EXPECT_EQ(check(bmp(16, 4, 24, 0, rowBytes(16, 24) * 4 - 1)), "BMP pixel data truncated");
  EXPECT_EQ(check(bmp(16, 4, 0, 0, 1024)), "BMP pixel data truncated");
  auto shortHeader = bmp(16, 4, 24, 0, 0);
  shortHeader.resize(53);
  EXPECT_EQ(check(shortHeader), "BMP header truncated or of an unsupported kind");
  auto coreHeader = bmp(16, 4, 24, 0, 256);
  put32(&coreHeader, 14, 12);
  EXPECT_EQ(check(coreHeader), "BMP header truncated or of an unsupported kind");
}

TEST(CheckHeader, HeaderOfEveryGoodFixtureMatchesTheDecodedImage) {
  const struct {
    const char* file;
    ImageFormat format;
  } cases[] = {{"prose.png", ImageFormat::kPng},  {"prose.jpg", ImageFormat::kJpeg},  {"prose.bmp", ImageFormat::kBmp},
               {"prose.tif", ImageFormat::kTiff}, {"prose.webp", ImageFormat::kWebp}, {"code.jpeg", ImageFormat::kJpeg},
               {"code.tiff", ImageFormat::kTiff}, {"code.webp", ImageFormat::kWebp},  {"code.bmp", ImageFormat::kBmp}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    ImageHeader header;
    ASSERT_EQ(check(bytesOf(fixture(c.file)), &header), "");
    EXPECT_EQ(header.format, c.format);
    std::string reason;
    Pix* image = zantrel::readImage(fixture(c.file).c_str(), &reason);
    ASSERT_NE(image, nullptr) << reason;
    EXPECT_EQ(pixGetWidth(image), header.width);
    EXPECT_EQ(pixGetHeight(image), header.height);
    pixDestroy(&image);
  }
}

// A 1-bit BMP of width x height whose palette has `entries` entries (black, white, then grey), every
// pixel of the left half set.
std::vector<uint8_t> oneBitBmp(int32_t width, int32_t height, uint32_t entries, bool countEntries) {
  const size_t row = rowBytes(width, 1);
  std::vector<uint8_t> out = bmp(width, height, 1, 0, 4 * entries + row * static_cast<size_t>(height));
  put32(&out, 10, 54 + 4 * entries);
  put32(&out, 46, countEntries ? entries : 0);
  for (uint32_t e = 1; e < entries; ++e) out[54 + 4 * e] = out[55 + 4 * e] = out[56 + 4 * e] = e == 1 ? 255 : 128;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width / 2; ++x)
      out[54 + 4 * entries + row * y + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
  return out;
}

TEST(ReadImage, OneBitBmpsAreReadWhateverTheirPaletteLength) {
  char path[] = "/tmp/zantrel-bmp-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  for (const auto& [entries, counted] : {std::pair{2u, true}, {2u, false}, {16u, true}, {256u, false}, {256u, true}}) {
    const std::vector<uint8_t> image = oneBitBmp(37, 9, entries, counted);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());
    std::string reason;
    Pix* pix = zantrel::readImage(path, &reason);
    ASSERT_NE(pix, nullptr) << entries << " entries: " << reason;
    EXPECT_EQ(pixGetWidth(pix), 37);
    EXPECT_EQ(pixGetHeight(pix), 9);
    l_int32 r = 0, g = 0, b = 0, r2 = 0, g2 = 0, b2 = 0;
    Pix* rgb = pixConvertTo32(pix);
    pixGetRGBPixel(rgb, 2, 4, &r, &g, &b);      // a set pixel: palette entry 1, white
    pixGetRGBPixel(rgb, 30, 4, &r2, &g2, &b2);  // a clear one: entry 0, black
    EXPECT_EQ(r + g + b, 3 * 255) << entries;
    EXPECT_EQ(r2 + g2 + b2, 0) << entries;
    pixDestroy(&rgb);
    pixDestroy(&pix);
  }
  unlink(path);
}

TEST(ReadImage, AlphaIsBlendedOverWhite) {
  std::string reason;
  Pix* image = zantrel::readImage(fixture("code_alpha.png").c_str(), &reason);
  ASSERT_NE(image, nullptr) << reason;
  EXPECT_NE(pixGetSpp(image), 4);
  l_int32 r = 0, g = 0, b = 0;
  ASSERT_EQ(pixGetRGBPixel(image, 1, 1, &r, &g, &b), 0);  // transparent margin
  EXPECT_EQ(r + g + b, 3 * 255);
  pixDestroy(&image);
}

class ReadImageFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zantrel-image-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { ASSERT_EQ(system(("rm -rf '" + dir_ + "'").c_str()), 0); }
  std::string read(const std::string& path) {
    std::vector<uint8_t> bytes(3, 1);
    const std::string problem = zantrel::readImageFile(path.c_str(), &bytes);
    if (!problem.empty()) {
      EXPECT_TRUE(bytes.empty());
    }
    return problem;
  }
  std::string dir_;
};

TEST_F(ReadImageFile, OnlyRegularFilesOfBoundedSizeAreRead) {
  EXPECT_EQ(read(dir_ + "/missing.png"), "cannot open file: No such file or directory");
  EXPECT_EQ(read(dir_), "not a regular file");
  EXPECT_EQ(read("/dev/zero"), "not a regular file");
  ASSERT_EQ(mkfifo((dir_ + "/fifo.png").c_str(), 0600), 0);
  EXPECT_EQ(read(dir_ + "/fifo.png"), "not a regular file") << "must neither block nor read";
  std::ofstream(dir_ + "/empty.png").close();
  EXPECT_EQ(read(dir_ + "/empty.png"), "file is empty");
  const std::string big = dir_ + "/big.png";
  std::ofstream(big).close();
  ASSERT_EQ(truncate(big.c_str(), static_cast<off_t>(zantrel::kMaxFileBytes) + 1), 0);  // sparse
  EXPECT_EQ(read(big), "file too large (67108865 bytes)");
  ASSERT_EQ(truncate(big.c_str(), 1000), 0);
  EXPECT_EQ(read(big), "");
}

TEST_F(ReadImageFile, ReadsTheWholeFile) {
  std::vector<uint8_t> bytes;
  ASSERT_EQ(zantrel::readImageFile(fixture("code.png").c_str(), &bytes), "");
  EXPECT_EQ(bytes, bytesOf(fixture("code.png")));
}

}  // namespace
