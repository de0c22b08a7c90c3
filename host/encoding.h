// Texts brought to UTF-8 before they are parsed: the recognizer reads UTF-8 only.
#ifndef QUORVEL_HOST_ENCODING_H
#define QUORVEL_HOST_ENCODING_H

#include <string>

namespace host {

enum class Encoding { Utf8, Utf16LittleEndian, Utf16BigEndian, Windows1252 };

// The encoding a text is read in: UTF-16 when it starts with a byte order mark, UTF-8 when it is
// well-formed UTF-8 (a UTF-8 byte order mark included), else Windows-1252, whose printable range is
// Latin-1's.
Encoding detectEncoding(const std::string& raw);

// True when the bytes start with a UTF-16 byte order mark.
bool hasUtf16Mark(const std::string& head);

// raw as UTF-8: byte order marks dropped, UTF-16 and Windows-1252 converted (units that cannot be
// decoded become U+FFFD), and a single NUL byte at the very end dropped.
std::string toUtf8(const std::string& raw, Encoding* found = nullptr);

}  // namespace host

#endif
