#include "encoding.h"

#include <cstdint>

#include "names.h"

namespace host {
namespace {

const char kReplacement[] = "\xEF\xBF\xBD";

void appendUtf8(uint32_t cp, std::string* out) {
  if (cp < 0x80) {
    *out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    *out += static_cast<char>(0xC0 | (cp >> 6));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    *out += static_cast<char>(0xE0 | (cp >> 12));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | (cp >> 18));
    *out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    *out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    *out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string fromUtf16(const std::string& raw, bool bigEndian) {
  std::string out;
  out.reserve(raw.size());
  auto unit = [&](size_t i) -> uint32_t {
    const auto a = static_cast<unsigned char>(raw[i]), b = static_cast<unsigned char>(raw[i + 1]);
    return bigEndian ? (a << 8 | b) : (b << 8 | a);
  };
  size_t i = 2;  // after the byte order mark
  for (; i + 1 < raw.size(); i += 2) {
    const uint32_t u = unit(i);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < raw.size() && unit(i + 2) >= 0xDC00 && unit(i + 2) <= 0xDFFF) {
      appendUtf8(0x10000 + ((u - 0xD800) << 10) + (unit(i + 2) - 0xDC00), &out);
      i += 2;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      out += kReplacement;
    } else {
      appendUtf8(u, &out);
    }
  }
  if (i < raw.size()) out += kReplacement;  // an odd byte at the end
  return out;
}

// Windows-1252's characters for 0x80 to 0x9F; 0 where it has none (Latin-1's control is kept).
constexpr uint16_t kWindows1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                           0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                           0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                           0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::string fromWindows1252(const std::string& raw) {
  std::string out;
  out.reserve(raw.size() + raw.size() / 4);
  for (unsigned char c : raw) {
    const uint32_t mapped = c >= 0x80 && c < 0xA0 && kWindows1252High[c - 0x80] != 0 ? kWindows1252High[c - 0x80] : c;
    appendUtf8(mapped, &out);
  }
  return out;
}

}  // namespace

bool hasUtf16Mark(const std::string& head) {
  return head.size() >= 2 && ((head[0] == '\xFF' && head[1] == '\xFE') || (head[0] == '\xFE' && head[1] == '\xFF'));
}

Encoding detectEncoding(const std::string& raw) {
  if (hasUtf16Mark(raw)) return raw[0] == '\xFF' ? Encoding::Utf16LittleEndian : Encoding::Utf16BigEndian;
  return isValidUtf8(raw) ? Encoding::Utf8 : Encoding::Windows1252;
}

std::string toUtf8(const std::string& raw, Encoding* found) {
  const Encoding encoding = detectEncoding(raw);
  if (found != nullptr) *found = encoding;
  if (encoding == Encoding::Utf16LittleEndian || encoding == Encoding::Utf16BigEndian)
    return fromUtf16(raw, encoding == Encoding::Utf16BigEndian);
  const size_t end = !raw.empty() && raw.back() == '\0' ? raw.size() - 1 : raw.size();
  const size_t start = raw.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  const std::string body = start < end ? raw.substr(start, end - start) : std::string();
  return encoding == Encoding::Utf8 || isValidUtf8(body) ? body : fromWindows1252(body);
}

}  // namespace host
