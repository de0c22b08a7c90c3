// Text preparation of the recognizer: UTF-8 character windows, cleaning of code text and the batch
// strategies. Pure functions of their arguments: no runtime, no logging, no shared state except the
// process-wide rand() generator that get_sample_N draws from.
//
// Character model: a character is one lead byte plus the bytes it announces (C0-DF: 2, E0-EF: 3,
// F0-FF: 4), never validated; a continuation byte (80-BF) met where a character should begin is not a
// character of its own. A text given as const char* ends at its first NUL byte.
#ifndef QUORVEL_UTILS_H
#define QUORVEL_UTILS_H

#include <cstddef>
#include <string>
#include <vector>

#include "export.h"

namespace SCR {

// ---- Alphabet ---------------------------------------------------------------------------------

// The characters the network sees. Column c of its input is the first position of the character in
// this string; the hyphen appears twice (62 and 85), so column 85 is never set. The model was trained
// with exactly this layout, and a bundle names the alphabet it was trained with. Its distinct members
// are the printable ASCII bytes 0x20 to 0x7E.
inline constexpr char kAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-,;.!?:'\"/\\|_@#$%^&*~`+- =<>()[]{}";
inline constexpr size_t kAlphabetSize = sizeof(kAlphabet) - 1;  // 96 columns
static_assert(kAlphabetSize == 96, "the network input has 96 columns");

// ---- UTF-8 characters -------------------------------------------------------------------------

// @return the number of characters of text; 0 for null or empty.
QUORVEL_API int getStrLenUtf8(const char* text);

// Cuts one window per offset: the characters [offset, min(offset + length, total)).
// The list ends at the first offset that is not below total or that the text cannot fill; that
// offset and every later one give no window. `total` is getStrLenUtf8(text).
QUORVEL_API std::vector<std::string> get_utf8_substr(const char* text, int total, std::vector<unsigned int> offsets,
                                                     int length);

// @return a new[]-allocated copy of the characters [start, start + min(length, total - start)),
//         or null for a null/empty text or a range outside it. The caller delete[]s it.
QUORVEL_API char* get_utf8_substr(const char* text, int total, int start, int length);

// Like the window-list form, but an offset whose window lies outside the text is skipped.
QUORVEL_API std::vector<std::string> get_utf8_substr0(const char* text, int total, std::vector<int> offsets,
                                                      int length);

// @return the byte length of the first n characters (the whole length when there are fewer).
QUORVEL_API int get_utf8_pos(const char* text, int n);

// ---- Cleaning of code text --------------------------------------------------------------------

// Flattens text into one line: CR and TAB become blanks, every line is trimmed, and the non-empty
// lines are joined with nothing between them.
QUORVEL_API std::string pre_data(std::string text);
// Removes leading and trailing blanks (0x20 only), in place.
QUORVEL_API std::string& trim(std::string& text);
// Per-line cleaning hook of pre_data; changes nothing.
QUORVEL_API std::string& clean_code(std::string& text);
// @return the non-empty runs between delimiters, in order.
QUORVEL_API std::vector<std::string> stringSplit(const std::string& text, char delimiter);
// Overwrites *output with the bytes of text that occur in allowed, in order.
QUORVEL_API void filter_string1(const std::string& text, const std::string& allowed, std::string* output);
// Removes from *text every byte that occurs in chars.
QUORVEL_API void remove_str(std::string* text, const std::string& chars);
// Overwrites *output with the low bytes of the wide characters of text that occur in allowed.
QUORVEL_API void filter_string(const std::wstring& text, const std::string& allowed, std::string* output);

// A text is set aside as ordinary text when less than this share of its flattened length is left
// after dropping multi-byte sequences and characters outside the alphabet: too little code material.
inline constexpr double kMinCodeShare = 0.4;

// The parse driver's whole cleaning step: pre_data, then censorStrWithOutSymbol, then filter_string1
// with kAlphabet. *cleaned receives the result in both outcomes. The passes work on one copy of the
// text, so the peak is the caller's text plus that copy.
// @return false when the text is set aside: the cleaned length is below kMinCodeShare times the
//         flattened length (both compared in double precision).
QUORVEL_API bool clean_text(const std::string& code, std::string* cleaned);

// ---- Batch strategies (batchLen in characters; the list receives the batches) -----------------

// Mode 0: windows every 250 characters. A negative batchLen yields no batch.
QUORVEL_API void get_full(std::string* text, const int& batchLen, std::vector<std::string>* batches);
// Mode 1: the first and the last window. A negative batchLen yields no batch.
QUORVEL_API void get_begin_and_end(std::string* text, const int& batchLen, std::vector<std::string>* batches);
// Mode 2: *sampleNums windows at random starts, *sampleNums first lowered to the number of whole windows.
QUORVEL_API void get_sample_N(std::string* text, const int& batchLen, int* sampleNums,
                              std::vector<std::string>* batches);
// @return low + rand() % (high - low) in unsigned arithmetic; low when the bounds are equal.
QUORVEL_API unsigned int get_random_int(unsigned int low, unsigned int high);

}  // namespace SCR

// Drops every 3- and 4-byte sequence and shortens every 2-byte sequence to its lead byte. The text
// ends at its first NUL; a sequence running past the end ends the scan.
QUORVEL_API std::string censorStrWithOutSymbol(const std::string& text);

// Decodes UTF-8 to a wide string. @throws std::range_error("wstring_convert::from_bytes") when it
// does not decode.
QUORVEL_API std::wstring utf8_to_wstr(const std::string& text);

#endif
