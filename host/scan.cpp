#include "scan.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "encoding.h"
#include "progress.h"
#include "repeatable.h"
#include "unpack.h"

namespace host {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void recognise(const std::string& text, const Options& options, const Recognizer& recognizer, FileResult* r) {
  r->textBytes = text.size();
  std::string result;
  try {
    const ParseFunction parse = [&recognizer](const std::string& t, int mode, std::string& out, int batchLen,
                                              int samples) {
      return recognizer.parse(t, mode, out, batchLen, samples);
    };
    const int status = parseRepeatably(parse, text, options, result);
    interpretResult(status, result, r);
  } catch (const std::exception& e) {
    r->answer = Answer::Error;
    r->message = std::string("recognition failed: ") + e.what();
  }
}

void skip(FileResult* r, std::string reason) {
  r->answer = Answer::Skipped;
  r->message = std::move(reason);
}

void skipTooLarge(const Options& options, FileResult* r) {
  skip(r, "larger than --max-bytes (" + std::to_string(options.maxBytes) + " bytes)");
}

// Reads the whole input within --max-bytes into *content. @return false when *r already holds the
// answer: an error, or skipped for its size.
bool readWithinLimit(OpenInput& input, const Options& options, std::string* content, FileResult* r) {
  std::string error;
  bool tooLarge = false;
  r->bytes = input.size();
  if (!input.readAll(options.maxBytes, content, &tooLarge, &error)) {
    r->message = error;
    return false;
  }
  if (tooLarge) {
    skipTooLarge(options, r);
    return false;
  }
  r->bytes = content->size();
  return true;
}

// Reads the whole text within --max-bytes and parses it as UTF-8.
void recogniseText(OpenInput& input, const Options& options, const Recognizer& recognizer, FileResult* r) {
  std::string content;
  if (readWithinLimit(input, options, &content, r)) recognise(toUtf8(content), options, recognizer, r);
}

}  // namespace

OcrFilter* Plugins::ocr(std::string* problem) {
  std::call_once(ocrLoaded_, [this] {
    if (!ocr_.load(libDir_, &ocrProblem_))
      fprintf(stderr, "quorvel: warning: %s; images cannot be read\n", ocrProblem_.c_str());
  });
  *problem = ocrProblem_;
  return ocr_.ready() ? &ocr_ : nullptr;
}

const std::string& Plugins::imageTypes() {
  static const std::string anyImage = kAnyImageType;
  std::string problem;
  return ocr(&problem) != nullptr ? ocr_.types() : anyImage;
}

namespace {

// An image through the OCR plug-in, then its text through the recognizer. The plug-in reads files, so
// bytes not on disk (`inMemory`) are written to a temporary file first.
void recogniseImage(const std::string& path, const std::string* inMemory, const Options& options, Plugins& plugins,
                    FileResult* r) {
  r->ocr = true;
  std::string problem, text, error;
  OcrFilter* ocr = plugins.ocr(&problem);
  if (ocr == nullptr) {
    r->message = "OCR unavailable: " + problem;
    return;
  }
  TemporaryFile copy;
  if (inMemory != nullptr && !copy.write(*inMemory, &error)) return void(r->message = error);
  if (!ocr->extract(inMemory != nullptr ? copy.path() : path, &text, &error))
    r->message = error;
  else
    recognise(text, options, plugins.recognizer(), r);
}

// A named image is read where it lies; standard input is read first (within --max-bytes).
void recogniseImage(const InputFile& file, OpenInput& input, const Options& options, Plugins& plugins, FileResult* r) {
  r->ocr = true;
  r->bytes = input.size();
  std::string problem, content;
  if (plugins.ocr(&problem) == nullptr) return void(r->message = "OCR unavailable: " + problem);
  if (!file.standardInput)
    recogniseImage(file.path, nullptr, options, plugins, r);
  else if (readWithinLimit(input, options, &content, r))
    recogniseImage(file.path, &content, options, plugins, r);
}

// Bytes already in memory (an archive member), sorted out as a file would be.
void scanBytes(const std::string& bytes, const Options& options, Plugins& plugins, FileResult* r) {
  r->bytes = bytes.size();
  switch (sniffKind(bytes.substr(0, kHeadBytes), bytes.size() <= kHeadBytes, plugins.imageTypes())) {
    case Kind::Binary:
      skip(r, "binary file");
      break;
    case Kind::Text:
      if (bytes.size() > options.maxBytes)
        skipTooLarge(options, r);
      else
        recognise(toUtf8(bytes), options, plugins.recognizer(), r);
      break;
    case Kind::Image:
      recogniseImage(r->display, &bytes, options, plugins, r);
      break;
  }
}

// The name of what a compressed file holds: its own name less the compression suffix.
std::string contentName(const std::string& display) {
  const size_t cut = display.find_last_of("/!");
  std::string name = cut == std::string::npos ? display : display.substr(cut + 1);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return name;
  const std::string suffix = name.substr(dot + 1);
  name.erase(dot);
  return suffix == "tgz" ? name + ".tar" : name;
}

// Expands an archive at the given level (1: a file named by the user), adding one result per member.
void expandInto(const std::string& display, const std::string& bytes, int level, const Options& options,
                Plugins& plugins, uint64_t* expanded, std::vector<FileResult>* results) {
  ExpansionLimits limits;
  limits.totalBytes = options.maxExpanded;
  limits.ratio = options.maxRatio;
  limits.memberBytes = options.maxBytes;
  const std::string problem = expandArchive(bytes, contentName(display), limits, expanded, [&](Member&& m) {
    const auto start = Clock::now();
    FileResult r;
    r.display = display + "!" + m.name;
    const bool archive = m.refusal.empty() && !archiveTypeOf(m.bytes).empty();
    if (!m.refusal.empty()) {
      skip(&r, m.refusal);
    } else if (archive && level < limits.depth) {
      return expandInto(r.display, m.bytes, level + 1, options, plugins, expanded, results);
    } else if (archive) {
      r.bytes = m.bytes.size();
      skip(&r, "archive nested deeper than " + std::to_string(limits.depth) + " levels");
    } else {
      scanBytes(m.bytes, options, plugins, &r);
    }
    r.seconds = secondsSince(start);
    results->push_back(std::move(r));
  });
  if (!problem.empty()) {
    FileResult r;
    r.display = display;
    r.bytes = bytes.size();
    r.message = problem;
    results->push_back(std::move(r));
  }
}

// An archive or compressed file named by the user: read whole (within --max-bytes), then expanded.
void scanArchive(OpenInput& input, const Options& options, Plugins& plugins, FileResult* r) {
  std::string content;
  if (!readWithinLimit(input, options, &content, r)) return;
  uint64_t expanded = 0;
  expandInto(r->display, content, 1, options, plugins, &expanded, &r->members);
  if (r->members.empty()) skip(r, "archive without files");
}

}  // namespace

FileResult scanOne(const InputFile& file, const Options& options, Plugins& plugins) {
  const auto start = Clock::now();
  FileResult r;
  r.display = file.display;
  OpenInput input;
  std::string error;
  if (!input.open(file, &error)) {
    r.message = error;
  } else if (archivesSupported() && !archiveTypeOf(input.head()).empty()) {
    scanArchive(input, options, plugins, &r);
  } else {
    switch (sniffKind(input.head(), input.wholeFile(), plugins.imageTypes())) {
      case Kind::Binary:
        r.bytes = input.size();
        skip(&r, "binary file");
        break;
      case Kind::Text:
        recogniseText(input, options, plugins.recognizer(), &r);
        break;
      case Kind::Image:
        recogniseImage(file, input, options, plugins, &r);
        break;
    }
  }
  r.seconds = secondsSince(start);
  return r;
}

Summary scanAll(const std::vector<InputFile>& files, const Options& options, Plugins& plugins, FILE* out,
                size_t written) {
  std::vector<FileResult> results(files.size());
  std::vector<char> finished(files.size(), 0);
  std::mutex mutex;
  std::condition_variable ready;
  std::atomic<size_t> next{0};
  Progress progress(written, written + files.size(), options.progress);

  auto worker = [&] {
    for (size_t i; (i = next++) < files.size();) {
      FileResult r = scanOne(files[i], options, plugins);
      progress.advance(r.bytes, std::max<size_t>(r.members.size(), 1));
      std::lock_guard<std::mutex> lock(mutex);
      results[i] = std::move(r);
      finished[i] = 1;
      ready.notify_all();
    }
  };
  std::vector<std::thread> threads;
  const size_t jobs = std::min<size_t>(static_cast<size_t>(options.jobs), std::max<size_t>(files.size(), 1));
  for (size_t t = 0; t < jobs; ++t) threads.emplace_back(worker);

  Summary summary;
  for (size_t i = 0; i < files.size(); ++i) {
    std::unique_lock<std::mutex> lock(mutex);
    ready.wait(lock, [&] { return finished[i] != 0; });
    const FileResult r = std::move(results[i]);
    lock.unlock();
    for (const FileResult& line : r.members.empty() ? std::vector<FileResult>{r} : r.members) {
      options.json ? writeJson(out, line) : writeLine(out, line);
      summary.add(line);
    }
  }
  for (auto& t : threads) t.join();
  return summary;
}

}  // namespace host
