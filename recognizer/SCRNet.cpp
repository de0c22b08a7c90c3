// Recognizer: data directory, model session, class list, one-hot encoding and inference.
#include "SCRNet.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <stdexcept>

#include "utils.h"
#include "vesklog.h"

namespace {

constexpr int64_t kPositions = 510;  // character rows of one input: a 500-byte piece plus 10 repeated
constexpr size_t kColumns = SCR::kAlphabetSize;

std::string currentDirectory() {
  std::vector<char> buffer(PATH_MAX);
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) throw std::runtime_error(std::string("getcwd: ") + strerror(errno));
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

// The data lives beside bin/ in an installed tree, or in the working directory itself.
std::string dataDirectory() {
  std::string dir = currentDirectory();
  if (dir.size() >= 4 && dir.compare(dir.size() - 4, 4, "/bin") == 0) dir += "/../data";
  return dir;
}

double millisecondsSince(clock_t start) { return double(clock() - start) * 1000.0 / CLOCKS_PER_SEC; }

}  // namespace

SCRNet::SCRNet()
    : m_logHandle(vesklog_open_v2("TextExtractor_SCR", "QUORVEL")),
      m_alphabet(SCR::kAlphabet),
      m_classNum(0),
      m_session(nullptr),
      m_env(ORT_LOGGING_LEVEL_ERROR, "SCRNet"),
      m_inputNames{"feature4"},
      m_outputNames{"de_pred"},
      m_inputShape{1, kPositions, static_cast<int64_t>(kColumns)},
      m_inputTensorSize(static_cast<size_t>(kPositions) * kColumns),
      m_modelPath("/models/SCR/SCR.onnx"),
      m_classPath("/models/SCR/code.txt"),
      m_alphabetSize(kColumns) {
  m_columnOf.fill(-1);
  for (size_t c = m_alphabet.size(); c-- > 0;) m_columnOf[static_cast<unsigned char>(m_alphabet[c])] = int16_t(c);
}

SCRNet::~SCRNet() { Release(); }

bool SCRNet::initModel(const std::string& modelPath, const std::string& classPath) {
  m_sessionOptions.SetIntraOpNumThreads(1);
  m_sessionOptions.SetInterOpNumThreads(1);
  m_sessionOptions.SetGraphOptimizationLevel(ORT_ENABLE_EXTENDED);

  std::string dataDir;
  try {
    dataDir = dataDirectory();
  } catch (const std::exception& e) {
    vesklog_warn(m_logHandle, "Dll Path(%s) Get Failed! <error: %s", dataDir.c_str(), e.what());
  }

  const std::string modelFile = abs_path(dataDir + modelPath);
  if (exists_test(modelFile))
    vesklog_info(m_logHandle, "Init Models Success, Path of Recognition Model: %s .", modelFile.c_str());
  else
    vesklog_warn(m_logHandle, "Init Models Failed, %s Not Exist!", modelFile.c_str());
  Release();  // a second load replaces the session instead of leaking it
  m_session = new Ort::Session(m_env, modelFile.c_str(), m_sessionOptions);

  const clock_t start = clock();
  const std::string classFile = abs_path(dataDir + "/" + classPath);
  const bool classFileFound = exists_test(classFile);
  if (classFileFound)
    vesklog_info(m_logHandle, "Read Class File Success, Path: %s .", classFile.c_str());
  else
    vesklog_warn(m_logHandle, "Read Class File Failed, %s Not Exist!", classFile.c_str());
  txt_to_vectorstring(&m_classNames, classFile);
  m_classNum = static_cast<int32_t>(m_classNames.size());

  warnAboutTensors(modelFile);
  const bool classesFit = !classFileFound || checkClassCount(classFile);
  if (!checkBundleFacts(modelFile) || !classesFit) {
    Release();  // parses then refuse, as after any failed load
    return false;
  }
  vesklog_info(m_logHandle, "Init model time cost: %.3fms", millisecondsSince(start));
  return true;
}

void SCRNet::Release() {
  delete m_session;
  m_session = nullptr;  // never left dangling: parse calls test it
}

bool SCRNet::pre_process(const std::string& text, std::vector<float>* output) {
  if (text.empty()) {
    vesklog_debug(m_logHandle, "No string!");
    return false;
  }
  const size_t rows = static_cast<size_t>(m_inputShape[1]);
  std::string copy = text;
  if (copy.size() < rows) {
    const size_t repeats = rows / text.size();
    copy.reserve(text.size() * (repeats + 1));
    for (size_t i = 0; i < repeats; ++i) copy += text;
  }
  output->assign(m_inputTensorSize, 0.0f);
  size_t row = 0;
  for (size_t i = 0; i < rows; ++i) {
    const int column = m_columnOf[static_cast<unsigned char>(copy[i])];
    if (column >= 0) (*output)[row++ * m_alphabetSize + static_cast<size_t>(column)] = 1.0f;
  }
  return true;
}

bool SCRNet::SCRParse(const std::string& text, std::vector<float>* scores) {
  if (m_session == nullptr) return false;
  std::vector<float> input;
  if (!pre_process(text, &input)) {
    vesklog_error(m_logHandle,
                  "Input is NULL\xEF\xBC\x81"
                  "error!");
    return false;
  }
  Ort::MemoryInfo memory = Ort::MemoryInfo::CreateCpu(OrtArenaAllocator, OrtMemTypeDefault);
  Ort::Value tensor = Ort::Value::CreateTensor<float>(memory, input.data(), m_inputTensorSize, m_inputShape.data(),
                                                      m_inputShape.size());
  if (!tensor.IsTensor()) {
    vesklog_error(m_logHandle, "Input data type error\xEF\xBC\x81");
    return false;
  }
  std::vector<Ort::Value> outputs =
      m_session->Run(Ort::RunOptions{nullptr}, m_inputNames.data(), &tensor, 1, m_outputNames.data(), 1);
  Ort::TensorTypeAndShapeInfo info = outputs[0].GetTensorTypeAndShapeInfo();
  if (info.GetElementType() != ONNX_TENSOR_ELEMENT_DATA_TYPE_FLOAT) return false;
  const float* data = outputs[0].GetTensorData<float>();
  const size_t count = std::min(static_cast<size_t>(std::max(m_classNum, 0)), info.GetElementCount());
  scores->insert(scores->end(), data, data + count);
  return true;
}

bool exists_test(const std::string& path) {
  std::ifstream file(path);
  return file.good();
}

std::string abs_path(std::string path) {
  std::vector<char> resolved(40960, '\0');
  if (realpath(path.c_str(), resolved.data()) == nullptr) return path;
  return resolved.data();
}

void txt_to_vectorstring(std::vector<std::string>* output, const std::string& path) {
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) output->push_back(line);
}

std::wstring strToWstr(const std::string& text) {
  std::wstring wide;
  wide.reserve(text.size());
  for (unsigned char c : text) wide.push_back(static_cast<wchar_t>(c));
  return wide;
}
