// Checks of a loaded bundle against what the recognizer encodes and decodes.
#include <cinttypes>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "SCRNet.h"
#include "vesklog.h"

namespace {

// The layout of the bundle this library reads; a bundle states the version it was written in.
const char kBundleFormatVersion[] = "1";
const char kManifestFile[] = "manifest.json";

std::string dims(const std::vector<int64_t>& shape) {
  std::string text;
  for (int64_t d : shape) text += (text.empty() ? "" : "x") + std::to_string(d);
  return text;
}

// Reads the JSON string starting at text[pos] (the opening quote). Escapes beyond ASCII are kept as
// '?': every fact compared here is ASCII.
bool jsonString(const std::string& text, size_t pos, std::string* out) {
  out->clear();
  for (++pos; pos < text.size(); ++pos) {
    char c = text[pos];
    if (c == '"') return true;
    if (c == '\\') {
      if (++pos >= text.size()) return false;
      c = text[pos];
      if (c == 'u') {
        if (pos + 4 >= text.size()) return false;
        const unsigned long code = std::strtoul(text.substr(pos + 1, 4).c_str(), nullptr, 16);
        c = code < 0x80 ? static_cast<char>(code) : '?';
        pos += 4;
      } else if (c == 'n' || c == 't' || c == 'r' || c == 'b' || c == 'f') {
        c = c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c == 'b' ? '\b' : '\f';
      }
    }
    out->push_back(c);
  }
  return false;
}

// The value of the first member named `key` in a JSON text, as a string (a number as written).
// @return false when the text holds no such member.
bool jsonFact(const std::string& text, const std::string& key, std::string* value) {
  const std::string quoted = "\"" + key + "\"";
  size_t pos = text.find(quoted);
  if (pos == std::string::npos) return false;
  pos = text.find_first_not_of(" \t\r\n", pos + quoted.size());
  if (pos == std::string::npos || text[pos] != ':') return false;
  pos = text.find_first_not_of(" \t\r\n", pos + 1);
  if (pos == std::string::npos) return false;
  if (text[pos] == '"') return jsonString(text, pos, value);
  const size_t end = text.find_first_of(",}] \t\r\n", pos);
  *value = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
  return !value->empty();
}

std::string directoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace

// Tensor names and shapes that disagree only warn: the runtime rejects a wrong input when it runs.
void SCRNet::warnAboutTensors(const std::string& modelFile) const {
  auto warn = [&](const char* field, const std::string& found, const std::string& expected) {
    vesklog_warn(m_logHandle, "Model %s: %s is %s, expected %s", modelFile.c_str(), field, found.c_str(),
                 expected.c_str());
  };
  Ort::AllocatorWithDefaultOptions allocator;
  if (m_session->GetInputCount() != 1 || m_session->GetOutputCount() < 1) {
    warn("input/output count",
         std::to_string(m_session->GetInputCount()) + "/" + std::to_string(m_session->GetOutputCount()), "1/1");
    return;
  }
  const std::string input = m_session->GetInputNameAllocated(0, allocator).get();
  if (input != m_inputNames[0]) warn("input name", input, m_inputNames[0]);
  const std::string output = m_session->GetOutputNameAllocated(0, allocator).get();
  if (output != m_outputNames[0]) warn("output name", output, m_outputNames[0]);

  const std::vector<int64_t> shape = m_session->GetInputTypeInfo(0).GetTensorTypeAndShapeInfo().GetShape();
  bool shapeFits = shape.size() == m_inputShape.size();
  for (size_t i = 0; shapeFits && i < shape.size(); ++i) shapeFits = shape[i] == m_inputShape[i] || shape[i] < 0;
  if (!shapeFits) warn("input shape", dims(shape), dims(m_inputShape));
}

// Scores are read by position as class names: a class file of another length names the wrong classes.
bool SCRNet::checkClassCount(const std::string& classFile) const {
  if (m_session->GetOutputCount() < 1) return true;
  const std::vector<int64_t> shape = m_session->GetOutputTypeInfo(0).GetTensorTypeAndShapeInfo().GetShape();
  const int64_t outputs = shape.empty() ? -1 : shape.back();
  if (outputs < 0 || outputs == m_classNum) return true;  // a dynamic width cannot be checked here
  vesklog_error(m_logHandle, "Class file %s lists %d names, but the model gives %" PRId64 " outputs; model refused",
                classFile.c_str(), static_cast<int>(m_classNum), outputs);
  return false;
}

// The alphabet and the format version, where the model's metadata or the manifest beside it states
// them, must be this library's. A bundle that does not state a fact is not refused for it.
bool SCRNet::checkBundleFacts(const std::string& modelFile) const {
  const std::pair<const char*, std::string> facts[] = {{"format_version", kBundleFormatVersion},
                                                       {"alphabet", m_alphabet}};
  bool agrees = true;
  auto compare = [&](const char* source, const std::string& file, const char* key, const std::string& found,
                     const std::string& expected) {
    if (found == expected) return;
    vesklog_error(m_logHandle, "%s %s: %s is %s, expected %s; model refused", source, file.c_str(), key, found.c_str(),
                  expected.c_str());
    agrees = false;
  };

  Ort::AllocatorWithDefaultOptions allocator;
  const Ort::ModelMetadata metadata = m_session->GetModelMetadata();
  for (const auto& fact : facts) {
    const Ort::AllocatedStringPtr value = metadata.LookupCustomMetadataMapAllocated(fact.first, allocator);
    if (value) compare("Model metadata of", modelFile, fact.first, value.get(), fact.second);
  }

  const std::string manifestFile = directoryOf(modelFile) + "/" + kManifestFile;
  std::ifstream in(manifestFile);
  if (!in) return agrees;
  const std::string manifest((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (const auto& fact : facts) {
    std::string value;
    if (jsonFact(manifest, fact.first, &value)) compare("Manifest", manifestFile, fact.first, value, fact.second);
  }
  return agrees;
}
