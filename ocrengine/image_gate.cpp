// Image type, header limits and decoding.
#include "image_gate.h"

#include <allheaders.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zantrel {
namespace {

constexpr uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr size_t kBmpInfoHeaderEnd = 54;  // file header (14) + BITMAPINFOHEADER (40)
constexpr uint32_t kBmpRle8 = 1;
constexpr uint32_t kBmpRle4 = 2;

bool startsWith(const uint8_t* data, size_t size, const void* prefix, size_t length, size_t at = 0) {
  return size >= at + length && std::memcmp(data + at, prefix, length) == 0;
}

uint32_t le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24); }
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

std::string dimensionsText(int64_t width, int64_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

std::string checkDimensions(int64_t width, int64_t height) {
  if (width <= 0 || height <= 0) return "image has no pixels (" + dimensionsText(width, height) + ")";
  if (width > kMaxSide || height > kMaxSide || width * height > kMaxPixels)
    return "image too large (" + dimensionsText(width, height) + " pixels)";
  return "";
}

// Leptonica reads only uncompressed BMP; its pixel rows must all be in the file.
std::string checkBmpHeader(const uint8_t* data, size_t size, ImageHeader* header) {
  if (size < kBmpInfoHeaderEnd || le32(data + 14) < 40) return "BMP header truncated or of an unsupported kind";
  const int64_t width = static_cast<int32_t>(le32(data + 18));
  const int64_t rows = static_cast<int32_t>(le32(data + 22));  // negative: stored top-down
  const int64_t height = rows < 0 ? -rows : rows;
  const uint16_t bitsPerPixel = le16(data + 28);
  const uint32_t compression = le32(data + 30);
  std::string refusal = checkDimensions(width, height);
  if (!refusal.empty()) return refusal;
  if (compression == kBmpRle8 || compression == kBmpRle4) return "RLE-compressed BMP cannot be read";
  if (compression != 0) return "compressed BMP cannot be read (compression " + std::to_string(compression) + ")";
  const int64_t rowBytes = (width * bitsPerPixel + 31) / 32 * 4;
  if (bitsPerPixel == 0 || static_cast<int64_t>(le32(data + 10)) + rowBytes * height > static_cast<int64_t>(size))
    return "BMP pixel data truncated";
  header->width = static_cast<int32_t>(width);
  header->height = static_cast<int32_t>(height);
  return "";
}

// Leptonica takes the palette size from the gap between the headers and the pixels and refuses a
// palette longer than the pixel depth can address, which some writers emit (a 1-bit image with 16 or
// 256 entries). Only the first 2^depth entries can be used: the copy keeps those alone.
void trimBmpPalette(std::vector<uint8_t>* bytes) {
  const uint8_t* data = bytes->data();
  const uint32_t infoSize = le32(data + 14), offset = le32(data + 10);
  const uint16_t bitsPerPixel = le16(data + 28);
  if (bitsPerPixel > 8 || infoSize < 40 || offset > bytes->size() || offset < 14 + infoSize) return;
  const uint32_t usable = 4u << bitsPerPixel, paletteStart = 14 + infoSize;
  if (offset - paletteStart <= usable) return;
  std::vector<uint8_t> trimmed(data, data + paletteStart + usable);
  trimmed.insert(trimmed.end(), data + offset, data + bytes->size());
  auto put32 = [&](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) trimmed[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  put32(2, static_cast<uint32_t>(trimmed.size()));
  put32(10, paletteStart + usable);
  put32(46, 1u << bitsPerPixel);  // colours used
  bytes->swap(trimmed);
}

// Leptonica prints its own complaints to standard error; the engine reports through its log.
class QuietLeptonica {
 public:
  QuietLeptonica() : previous_(setMsgSeverity(L_SEVERITY_NONE)) {}
  ~QuietLeptonica() { setMsgSeverity(previous_); }

 private:
  int previous_;
};

}  // namespace

ImageFormat sniffFormat(const uint8_t* data, size_t size) {
  if (startsWith(data, size, kPngSignature, sizeof kPngSignature)) return ImageFormat::kPng;
  if (startsWith(data, size, "\xff\xd8\xff", 3)) return ImageFormat::kJpeg;
  if (startsWith(data, size, "II*\0", 4) || startsWith(data, size, "MM\0*", 4)) return ImageFormat::kTiff;
  if (startsWith(data, size, "BM", 2)) return ImageFormat::kBmp;
  if (startsWith(data, size, "RIFF", 4) && startsWith(data, size, "WEBP", 4, 8)) return ImageFormat::kWebp;
  return ImageFormat::kUnknown;
}

std::string checkHeader(const uint8_t* data, size_t size, ImageHeader* header) {
  *header = ImageHeader();
  header->format = sniffFormat(data, size);
  if (header->format == ImageFormat::kUnknown) return "not an image of a supported type";
  if (header->format == ImageFormat::kBmp) return checkBmpHeader(data, size, header);
  QuietLeptonica quiet;
  l_int32 format = 0, width = 0, height = 0, bitsPerSample = 0, samplesPerPixel = 0, colormapped = 0;
  if (pixReadHeaderMem(data, size, &format, &width, &height, &bitsPerSample, &samplesPerPixel, &colormapped) != 0)
    return "image header unreadable (truncated or corrupt)";
  std::string refusal = checkDimensions(width, height);
  if (!refusal.empty()) return refusal;
  header->width = width;
  header->height = height;
  return "";
}

std::string readImageFile(const char* path, std::vector<uint8_t>* bytes) {
  bytes->clear();
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::string("cannot open file: ") + strerror(errno);
  struct stat info;
  std::string problem;
  if (fstat(fd, &info) != 0) {
    problem = std::string("cannot examine file: ") + strerror(errno);
  } else if (!S_ISREG(info.st_mode)) {
    problem = "not a regular file";
  } else if (info.st_size == 0) {
    problem = "file is empty";
  } else if (static_cast<uint64_t>(info.st_size) > kMaxFileBytes) {
    problem = "file too large (" + std::to_string(info.st_size) + " bytes)";
  } else {
    bytes->resize(static_cast<size_t>(info.st_size));
    size_t done = 0;
    while (done < bytes->size()) {
      const ssize_t n = read(fd, bytes->data() + done, bytes->size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) problem = std::string("cannot read file: ") + strerror(errno);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    bytes->resize(done);  // a file that shrank while being read is checked as it was read
  }
  close(fd);
  return problem;
}

Pix* readImage(const char* path, std::string* reason) {
  std::vector<uint8_t> bytes;
  *reason = readImageFile(path, &bytes);
  if (!reason->empty()) return nullptr;
  ImageHeader header;
  *reason = checkHeader(bytes.data(), bytes.size(), &header);
  if (!reason->empty()) return nullptr;
  if (header.format == ImageFormat::kBmp) trimBmpPalette(&bytes);
  QuietLeptonica quiet;
  Pix* decoded = pixReadMem(bytes.data(), bytes.size());
  if (decoded == nullptr) {
    *reason = "image cannot be decoded (truncated or corrupt)";
    return nullptr;
  }
  *reason = checkDimensions(pixGetWidth(decoded), pixGetHeight(decoded));  // in case the header lied
  Pix* opaque = reason->empty() ? pixRemoveAlpha(decoded) : nullptr;
  pixDestroy(&decoded);
  if (opaque == nullptr && reason->empty()) *reason = "image cannot be converted";
  return opaque;
}

}  // namespace zantrel
