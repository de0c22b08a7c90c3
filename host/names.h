// File names made safe for the output: one file is one line, and JSON stays valid UTF-8.
#ifndef QUORVEL_HOST_NAMES_H
#define QUORVEL_HOST_NAMES_H

#include <string>

namespace host {

// The name for a plain output line: backslash as "\\", tab, newline and carriage return as "\t",
// "\n" and "\r", every other control byte (below 0x20, and 0x7F) as "\xHH". Other bytes as they are.
std::string plainName(const std::string& name);

// True when text is well-formed UTF-8 (no overlong forms, surrogates or code points above U+10FFFF).
bool isValidUtf8(const std::string& text);

// text with every byte that is not part of a well-formed UTF-8 sequence replaced by U+FFFD.
std::string validUtf8(const std::string& text);

// The bytes as lower-case hexadecimal, two digits each.
std::string hexBytes(const std::string& bytes);

// Length of the well-formed UTF-8 sequence at text[at], or 0 when none starts there.
size_t utf8SequenceLength(const std::string& text, size_t at);

}  // namespace host

#endif
