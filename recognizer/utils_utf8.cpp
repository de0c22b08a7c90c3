// UTF-8 character counting and character windows.
#include <algorithm>
#include <codecvt>
#include <cstring>
#include <locale>
#include <numeric>
#include <stdexcept>

#include "utf8_units.h"
#include "utils.h"

namespace SCR {
namespace {

using utf8::isCharacter;
using utf8::unitBytes;

// A cursor over a NUL-terminated text that knows which character it stands on.
class CharCursor {
 public:
  CharCursor(const char* text, size_t size) : text_(reinterpret_cast<const unsigned char*>(text)), size_(size) {}

  // Moves forward to the lead byte of character `index` (never backwards).
  // @return false when the text has no such character.
  bool seek(size_t index) {
    while (pos_ < size_) {
      unsigned char b = text_[pos_];
      if (!isCharacter(b)) {
        ++pos_;
        continue;
      }
      if (charIndex_ == index) return true;
      pos_ = std::min(size_, pos_ + unitBytes(b));
      ++charIndex_;
    }
    return false;
  }

  // From the current position, the byte just after the `count`-th character; false if the text ends first.
  bool endAfter(size_t count, size_t* end) const {
    size_t p = pos_;
    for (size_t taken = 0; taken < count;) {
      if (p >= size_) return false;
      unsigned char b = text_[p];
      if (isCharacter(b)) {
        p = std::min(size_, p + unitBytes(b));
        ++taken;
      } else {
        ++p;
      }
    }
    *end = p;
    return true;
  }

  size_t pos() const { return pos_; }

 private:
  const unsigned char* text_;
  size_t size_;
  size_t pos_ = 0;
  size_t charIndex_ = 0;
};

struct Span {
  bool found = false;
  size_t begin = 0, end = 0;
};

// Byte span of characters [start, start + count) or not found.
Span findSpan(const char* text, size_t start, size_t count) {
  CharCursor cursor(text, strlen(text));
  Span span;
  if (!cursor.seek(start)) return span;
  span.begin = cursor.pos();
  span.found = cursor.endAfter(count, &span.end);
  return span;
}

}  // namespace

int getStrLenUtf8(const char* text) {
  if (text == nullptr) return 0;
  const size_t size = strlen(text);
  int count = 0;
  for (size_t pos = 0; pos < size;) {
    unsigned char b = static_cast<unsigned char>(text[pos]);
    pos += unitBytes(b);
    if (isCharacter(b)) ++count;
  }
  return count;
}

std::vector<std::string> get_utf8_substr(const char* text, int total, std::vector<unsigned int> offsets, int length) {
  std::vector<std::string> windows;
  if (text == nullptr || offsets.empty() || total <= 0) return windows;
  const unsigned int totalU = static_cast<unsigned int>(total);

  // Offsets are resolved in ascending order with one cursor, so a text is walked once however many
  // windows are cut; the windows are then emitted in the order of the offsets given.
  std::vector<size_t> order(offsets.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return offsets[a] < offsets[b]; });

  std::vector<Span> spans(offsets.size());
  CharCursor cursor(text, strlen(text));
  for (size_t k : order) {
    const unsigned int offset = offsets[k];
    if (offset >= totalU || !cursor.seek(offset)) break;  // every larger offset fails as well
    const unsigned int endBound = std::min(offset + static_cast<unsigned int>(length), totalU);
    Span& span = spans[k];
    span.begin = cursor.pos();
    span.found = endBound > offset && cursor.endAfter(endBound - offset, &span.end);
  }
  for (const Span& span : spans) {
    if (!span.found) break;
    windows.emplace_back(text + span.begin, span.end - span.begin);
  }
  return windows;
}

char* get_utf8_substr(const char* text, int total, int start, int length) {
  if (text == nullptr || *text == '\0' || start < 0) return nullptr;
  const long long n = std::min<long long>(length, static_cast<long long>(total) - start);
  if (n < 0) return nullptr;
  Span span = findSpan(text, static_cast<size_t>(start), static_cast<size_t>(n));
  if (!span.found) return nullptr;
  const size_t size = span.end - span.begin;
  char* copy = new char[size + 1];
  memcpy(copy, text + span.begin, size);
  copy[size] = '\0';
  return copy;
}

std::vector<std::string> get_utf8_substr0(const char* text, int total, std::vector<int> offsets, int length) {
  std::vector<std::string> windows;
  if (text == nullptr) return windows;
  for (int offset : offsets) {
    char* window = get_utf8_substr(text, total, offset, length);
    if (window == nullptr) continue;
    windows.emplace_back(window);
    delete[] window;
  }
  return windows;
}

int get_utf8_pos(const char* text, int n) {
  if (text == nullptr || n <= 0) return 0;
  CharCursor cursor(text, strlen(text));
  size_t end = 0;
  if (!cursor.seek(0) || !cursor.endAfter(static_cast<size_t>(n), &end)) return static_cast<int>(strlen(text));
  return static_cast<int>(end);
}

}  // namespace SCR

std::wstring utf8_to_wstr(const std::string& text) {
  // The standard converter silently drops a sequence cut off by the end of the text; refuse it instead.
  size_t pos = 0;
  while (pos < text.size()) pos += SCR::utf8::unitBytes(static_cast<unsigned char>(text[pos]));
  if (pos > text.size()) throw std::range_error("wstring_convert::from_bytes");
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  std::wstring_convert<std::codecvt_utf8<wchar_t>> converter;
  return converter.from_bytes(text);
#pragma GCC diagnostic pop
}
