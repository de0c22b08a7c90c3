// The arguments the host gives QuorvelParse for one text, and the call made repeatable: the same
// text with the same options always gets the same answer, whatever was parsed before it and however
// many jobs run.
#ifndef QUORVEL_HOST_REPEATABLE_H
#define QUORVEL_HOST_REPEATABLE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "options.h"

namespace host {

// Texts up to this size are covered window by window (mode 0) unless --mode says otherwise; above it
// the library chooses by length.
constexpr size_t kWholeTextBytes = 64 * 1024;

// The mode handed to the library for a text of textBytes bytes.
int modeFor(const Options& options, size_t textBytes);

// True when the library may draw window positions from rand() for this text: mode 2, or the
// automatic choice for a text long enough to reach mode 2 (cleaning only removes bytes, so the raw
// size bounds the cleaned one).
bool mayDrawWindows(int mode, int batchLen, size_t textBytes);

// The generator seed for a text: FNV-1a over its bytes.
uint32_t textSeed(const std::string& text);

using ParseFunction =
    std::function<int(const std::string& text, int mode, std::string& result, int batchLen, int samples)>;

// Calls parse with the options' arguments. A call that may draw windows runs alone among such calls
// with rand() seeded by textSeed(text), so its windows depend on the text only.
int parseRepeatably(const ParseFunction& parse, const std::string& text, const Options& options, std::string& result);

}  // namespace host

#endif
