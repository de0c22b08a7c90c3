// Cleaning passes that reduce a text to one line of printable ASCII.
#include <array>
#include <cstdint>
#include <cstring>

#include "utf8_units.h"
#include "utils.h"

namespace SCR {
namespace {

// A 256-entry membership table: filtering is then one lookup per byte, whatever the set's size.
std::array<bool, 256> membership(const std::string& set) {
  std::array<bool, 256> in{};
  for (unsigned char c : set) in[c] = true;
  return in;
}

// In-place forms of censorStrWithOutSymbol and filter_string1: the same results, without a second
// copy of a large text.
void censor_inplace(std::string& text) {
  const size_t size = strlen(text.c_str());  // read as a C string: an embedded NUL ends it
  size_t out = 0;
  for (size_t pos = 0; pos < size;) {
    const unsigned char b = static_cast<unsigned char>(text[pos]);
    const int units = utf8::unitBytes(b);
    if (pos + units > size) break;  // a sequence cut off by the end of the text
    if (units <= 2) text[out++] = static_cast<char>(b);
    pos += units;
  }
  text.resize(out);
}

void keep_only_inplace(std::string& text, const std::string& allowed) {
  const auto in = membership(allowed);
  size_t out = 0;
  for (char c : text)
    if (in[static_cast<unsigned char>(c)]) text[out++] = c;
  text.resize(out);
}

}  // namespace

// Lines are trimmed and joined by compacting the text in place: a text of any size needs no memory
// beyond its own copy. clean_code changes nothing, so the lines need not become strings of their own.
std::string pre_data(std::string text) {
  for (char& c : text)
    if (c == '\r' || c == '\t') c = ' ';
  size_t out = 0;
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    size_t first = pos, last = end;
    while (first < last && text[first] == ' ') ++first;
    while (last > first && text[last - 1] == ' ') --last;
    if (last > first) {
      std::memmove(&text[out], text.data() + first, last - first);  // out <= first: moves left
      out += last - first;
    }
    pos = end + 1;
  }
  text.resize(out);
  return text;
}

std::string& trim(std::string& text) {
  if (text.empty()) return text;
  text.erase(0, text.find_first_not_of(' '));
  const size_t last = text.find_last_not_of(' ');
  text.erase(last == std::string::npos ? 0 : last + 1);
  return text;
}

std::string& clean_code(std::string& text) { return text; }

std::vector<std::string> stringSplit(const std::string& text, char delimiter) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(delimiter, start);
    if (end == std::string::npos) end = text.size();
    if (end > start) pieces.emplace_back(text, start, end - start);
    start = end + 1;
  }
  return pieces;
}

void filter_string1(const std::string& text, const std::string& allowed, std::string* output) {
  const auto in = membership(allowed);
  output->clear();
  output->reserve(text.size());
  for (unsigned char c : text)
    if (in[c]) output->push_back(static_cast<char>(c));
}

void remove_str(std::string* text, const std::string& chars) {
  const auto drop = membership(chars);
  std::string kept;
  kept.reserve(text->size());
  for (unsigned char c : *text)
    if (!drop[c]) kept.push_back(static_cast<char>(c));
  text->swap(kept);
}

void filter_string(const std::wstring& text, const std::string& allowed, std::string* output) {
  const auto in = membership(allowed);
  output->clear();
  for (wchar_t w : text) {
    const unsigned char low = static_cast<unsigned char>(static_cast<unsigned long>(w) & 0xFF);
    if (in[low]) output->push_back(static_cast<char>(low));
  }
}

bool clean_text(const std::string& code, std::string* cleaned) {
  *cleaned = pre_data(code);
  const int32_t flattened = static_cast<int32_t>(cleaned->size());
  censor_inplace(*cleaned);
  keep_only_inplace(*cleaned, kAlphabet);
  return !(static_cast<double>(cleaned->size()) < kMinCodeShare * static_cast<double>(flattened));
}

}  // namespace SCR

std::string censorStrWithOutSymbol(const std::string& text) {
  std::string out(text.c_str());
  SCR::censor_inplace(out);
  return out;
}
