// The scan: every input file read, sorted out, recognised, and reported in input order.
#ifndef QUORVEL_HOST_SCAN_H
#define QUORVEL_HOST_SCAN_H

#include <mutex>
#include <string>
#include <vector>

#include "files.h"
#include "ocr.h"
#include "options.h"
#include "plugins.h"
#include "report.h"

namespace host {

// The recognizer, loaded before the scan, and the OCR filter, loaded when the first file is sorted.
class Plugins {
 public:
  Plugins(const Recognizer& recognizer, std::string libDir) : recognizer_(recognizer), libDir_(std::move(libDir)) {}
  const Recognizer& recognizer() const { return recognizer_; }
  // What counts as an image: the types the OCR plug-in takes (its GetType list); none when the
  // plug-in cannot be used, so that images are then sorted by their content.
  const std::string& imageTypes();
  // The OCR filter, or null with *problem saying why it cannot be used (said once on stderr).
  OcrFilter* ocr(std::string* problem);

 private:
  const Recognizer& recognizer_;
  const std::string libDir_;
  OcrFilter ocr_;
  std::string ocrProblem_;
  std::once_flag ocrLoaded_;
};

FileResult scanOne(const InputFile& file, const Options& options, Plugins& plugins);

// Scans the files with options.jobs threads; results are written in input order as they finish.
// `written` lines were written before, and count in the progress line's total.
// @return the summary of the results written.
Summary scanAll(const std::vector<InputFile>& files, const Options& options, Plugins& plugins, FILE* out,
                size_t written = 0);

}  // namespace host

#endif
