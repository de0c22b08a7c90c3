// libQuorvel.so: tells whether a text is program source code, and in which language(s).
//
// Hosts call QuorvelInit once, QuorvelParse per text (from any number of threads), QuorvelRelease at
// the end. QuorvelInit and QuorvelRelease must not overlap any other call into the library.
// The library reads its model from <data>/models/SCR/SCR.onnx and its class names from
// <data>/models/SCR/code.txt, where <data> is the working directory, or "<cwd>/../data" when the
// working directory ends in "/bin". The host must be built with the same std::string layout.
// No exception is caught at this boundary: std::bad_alloc and Ort::Exception reach the caller.
#ifndef QUORVEL_H
#define QUORVEL_H

#include <string>

#include "export.h"

extern "C" {

// @return the library version, "1.3.2310.18"; static storage, callable at any time.
QUORVEL_API const char* GetQuorvelVersion();

// Creates the recognizer and loads the model and class list, unless a recognizer already exists
// (then nothing is reloaded, even when the earlier load failed; call QuorvelRelease to retry).
// @return 1 when a recognizer exists; 0, after an error line, when the bundle is refused: its class
//         file does not name one class per model output, or its metadata or manifest.json states an
//         alphabet or format version other than the library's. A refused bundle leaves the recognizer
//         installed without a model, and QuorvelParse answers 0.
// @throws Ort::Exception when the model cannot be loaded; the recognizer then stays installed
//         without a model, and QuorvelParse answers 0.
QUORVEL_API int QuorvelInit();

// Classifies `code`.
//   mode:       0 = windows over the whole text, 1 = first and last window, 2 = random windows,
//               anything else = chosen from the text's length
//   result:     emptied, then "dialog", or up to three class names each followed by "; ",
//               or the fallback class name alone when no class is confident
//   batchLen:   window length in characters; -1 means 500
//   sampleNums: windows drawn in mode 2; -1 means 5
// @return 1 when a decision was written to result; 0 when the text was set aside (too short, too
//         little code material) or no model is loaded, with result empty.
// @throws Ort::Exception when inference fails, std::bad_alloc when memory runs out.
QUORVEL_API int QuorvelParse(const std::string& code, int mode, std::string& result, int batchLen, int sampleNums);

// Ends the model session and removes the recognizer. No effect without one.
QUORVEL_API void QuorvelRelease();

}  // extern "C"

#endif
