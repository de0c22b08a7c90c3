// Entry points of libQuorvel.so and the parse driver.
#include "Quorvel.h"

#include <cmath>
#include <cstdint>
#include <ctime>

#include "QuorvelDetail.h"
#include "SCRNet.h"
#include "utils.h"
#include "vesklog.h"

QUORVEL_API SCRNet* g_coderec = nullptr;

namespace {

const char kVersion[] = QUORVEL_VERSION;
constexpr uint32_t kOrtApiVersion = 9;  // the oldest runtime the library supports offers this

constexpr int kDefaultBatchLen = 500;
constexpr int kDefaultSampleNums = 5;
constexpr size_t kShortestInferred = 81;  // batches of 80 bytes or fewer count as ordinary text
constexpr double kMaxBlankShare = 0.65;   // batches with more blanks than this count as ordinary text
constexpr size_t kPieceBytes = 500;       // the model sees 510 positions: a piece plus its start

// The runtime's function table is fetched once, when the library is loaded.
struct OrtApiTable {
  OrtApiTable() { Ort::InitApi(OrtGetApiBase()->GetApi(kOrtApiVersion)); }
} g_ortApiTable;

double secondsSince(clock_t start) { return double(clock() - start) / CLOCKS_PER_SEC; }

bool isOrdinaryText(const std::string& batch) {
  if (batch.size() < kShortestInferred) return true;
  size_t blanks = 0;
  for (char c : batch) blanks += (c == ' ');
  return static_cast<double>(blanks) > kMaxBlankShare * static_cast<double>(batch.size());
}

// Infers one batch into `total`, with the one log line every batch gets.
void inferBatch(const SCRNet& net, int number, const std::string& batch, std::vector<float>* total) {
  const std::vector<float> zero(total->size(), 0.0f);
  if (isOrdinaryText(batch)) {
    vesklog_debug(net.m_logHandle, "No %d, Infer Result: dialog, Code Content:\n%s", number, batch.c_str());
    return;
  }
  std::vector<float> scores(zero);
  const clock_t start = clock();
  if (!_SCRParse(batch, scores)) {
    vesklog_debug(net.m_logHandle, "No %d, Detect Failed, Cost Time: %.3f s!\n%s", number, secondsSince(start),
                  batch.c_str());
    return;
  }
  for (size_t k = 0; k < total->size(); ++k) (*total)[k] += scores[k];
  if (scores == zero) {
    vesklog_debug(net.m_logHandle, "No %d, Cost Time: %.3f s, Infer Result: dialog, Code Content:\n%s", number,
                  secondsSince(start), batch.c_str());
    return;
  }
  const std::vector<float> probabilities = softmax(scores);
  const std::vector<size_t> ranking = sort_indexes(probabilities);
  const std::string detail = quorvel::detailText(probabilities, ranking, net.m_classNames, ranking.size());
  vesklog_debug(net.m_logHandle, "No %d, Cost Time: %.3f s, Infer Result: %s, Code Content:\n%s", number,
                secondsSince(start), detail.c_str(), batch.c_str());
}

// Turns the summed scores into the answer, with the result line.
void answer(const SCRNet& net, const std::vector<float>& total, int mode, clock_t start, std::string& result) {
  if (total == std::vector<float>(total.size(), 0.0f)) {
    result = "dialog";
    vesklog_info(net.m_logHandle, "SCR predict result[Mode: %d]: dialog, Cost Time: %.3f s.", mode,
                 secondsSince(start));
    return;
  }
  const std::vector<float> probabilities = softmax(total);
  const quorvel::Decision decision = quorvel::decide(probabilities, sort_indexes(probabilities), net.m_classNames);
  result = decision.result;
  if (decision.lowConfidence)
    vesklog_info(net.m_logHandle, "SCR predict result[Mode: %d]: %s (%s), Cost Time: %.3f s.", mode,
                 decision.detail.c_str(), result.c_str(), secondsSince(start));
  else
    vesklog_info(net.m_logHandle, "SCR predict result[Mode: %d]: %s, Cost Time: %.3f s.", mode, decision.detail.c_str(),
                 secondsSince(start));
}

int parseDriver(const SCRNet& net, const std::string& code, int mode, std::string& result, int batchLen,
                int sampleNums) {
  const size_t classes = static_cast<size_t>(std::max(net.m_classNum, 0));
  const clock_t start = clock();
  std::string working;
  if (!SCR::clean_text(code, &working)) {
    vesklog_info(net.m_logHandle, "Infer Result: dialog, Code Content:\n%s", working.c_str());
    return 0;
  }
  int effectiveMode = mode;
  std::vector<std::string> batches;
  if (get_batch_string(&working, mode, batchLen, &sampleNums, &effectiveMode, &batches) == 0) {
    vesklog_info(net.m_logHandle, "Input Code length is less than 20 characters!\n%s", working.c_str());
    return 0;
  }
  vesklog_info(net.m_logHandle, "Mode %d, Sample Nums: %d(Only used by Mode 2), Total Batch: %d .", mode, sampleNums,
               static_cast<int>(batches.size()));
  std::vector<float> total(classes, 0.0f);
  for (size_t i = 0; i < batches.size(); ++i) inferBatch(net, static_cast<int>(i), batches[i], &total);
  answer(net, total, effectiveMode, start, result);
  return 1;
}

}  // namespace

bool _SCRParse(std::string batch, std::vector<float>& scores) {
  SCRNet* net = g_coderec;
  if (net == nullptr) return false;
  const size_t classes = static_cast<size_t>(std::max(net->m_classNum, 0));
  const size_t pieces = static_cast<size_t>(std::ceil(static_cast<float>(batch.size()) / 500.0f));
  std::vector<float> pieceScores;
  for (size_t i = 0; i < pieces; ++i) {
    if (i * kPieceBytes >= batch.size()) continue;
    const std::string piece = batch.substr(i * kPieceBytes, kPieceBytes);
    pieceScores.clear();
    if (!net->SCRParse(piece, &pieceScores)) {
      vesklog_debug(net->m_logHandle, "No %d Infer Failed!", static_cast<int>(i));
      continue;
    }
    const size_t given = std::min({classes, pieceScores.size(), scores.size()});
    for (size_t k = 0; k < given; ++k) scores[k] += pieceScores[k];
  }
  return !scores.empty();
}

extern "C" {

const char* GetQuorvelVersion() { return kVersion; }

int QuorvelInit() {
  if (g_coderec != nullptr) return 1;
  if (Ort::Global<void>::api_ == nullptr) throw Ort::Exception("ONNX Runtime does not offer API version 9", ORT_FAIL);
  g_coderec = new SCRNet();  // installed before loading: a failed load keeps it, and Init is not retried
  return g_coderec->initModel(g_coderec->m_modelPath, g_coderec->m_classPath) ? 1 : 0;
}

int QuorvelParse(const std::string& code, int mode, std::string& result, int batchLen, int sampleNums) {
  if (batchLen == -1) batchLen = kDefaultBatchLen;
  if (sampleNums == -1) sampleNums = kDefaultSampleNums;
  result.clear();
  const SCRNet* net = g_coderec;
  if (net == nullptr || net->m_session == nullptr) {
    const int handle = net ? net->m_logHandle : vesklog_open_v2("TextExtractor_SCR", "QUORVEL");
    vesklog_error(handle, "QuorvelParse: no model is loaded (QuorvelInit not called, failed, or released)");
    return 0;
  }
  return parseDriver(*net, code, mode, result, batchLen, sampleNums);
}

void QuorvelRelease() {
  if (g_coderec == nullptr) return;
  g_coderec->Release();
  delete g_coderec;
  g_coderec = nullptr;
}

}  // extern "C"
