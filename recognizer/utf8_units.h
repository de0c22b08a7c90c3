// The lead-byte table shared by the character utilities and the cleaning pass.
#ifndef QUORVEL_UTF8_UNITS_H
#define QUORVEL_UTF8_UNITS_H

namespace SCR {
namespace utf8 {

// Bytes taken by the unit that begins with byte b (its following bytes are never examined).
inline int unitBytes(unsigned char b) {
  if (b < 0xC0) return 1;  // ASCII, or a continuation byte out of place
  if (b < 0xE0) return 2;
  if (b < 0xF0) return 3;
  return 4;  // F8-FF lead 4-byte units too: there are no 5- or 6-byte forms
}

// A continuation byte out of place is a unit but not a character.
inline bool isCharacter(unsigned char b) { return b < 0x80 || b >= 0xC0; }

}  // namespace utf8
}  // namespace SCR

#endif
