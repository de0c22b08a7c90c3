// The recognizer: owns the log channel, the ONNX Runtime session and the class list, encodes a piece
// of text into the network's one-hot input and runs the network on it.
#ifndef QUORVEL_SCRNET_H
#define QUORVEL_SCRNET_H

#ifndef ORT_API_MANUAL_INIT
#define ORT_API_MANUAL_INIT  // the API table is fetched once, at version 9, when the library loads
#endif
#include <onnxruntime_cxx_api.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "export.h"

// Lifecycle: constructed (channel open, no session) -> initModel (session and class list) -> Release.
// After initModel, pre_process and SCRParse only read the object, so they may run concurrently.
class QUORVEL_API SCRNet {
 public:
  // Opens the channel "TextExtractor_SCR"/"QUORVEL" and creates the runtime environment.
  // @throws Ort::Exception when the runtime cannot create the environment or session options.
  SCRNet();
  ~SCRNet();
  SCRNet(const SCRNet&) = delete;
  SCRNet& operator=(const SCRNet&) = delete;

  // Loads the model at <data dir><modelPath> and appends the lines of <data dir>/<classPath> to the
  // class names. The data directory is the working directory, or its "/../data" when it ends in "/bin".
  // A missing class file leaves zero classes and still succeeds. A bundle is refused, with an error
  // line, when its class file does not name one class per model output, or when the model's metadata
  // or the manifest.json beside it states an alphabet or a format version other than the library's;
  // the session is then released.
  // @return true when the session exists afterwards.
  // @throws Ort::Exception when the session cannot be created (a missing model among the causes).
  bool initModel(const std::string& modelPath, const std::string& classPath);

  // Releases the model session; the object is not usable for inference afterwards.
  void Release();

  // Encodes text into 510 x 96 one-hot floats (row = character position, column = alphabet position),
  // repeating a text shorter than 510 bytes; bytes outside the alphabet take no row.
  // @return false for an empty text (output untouched), else true with *output replaced.
  bool pre_process(const std::string& text, std::vector<float>* output);

  // Runs the network on one piece and appends one score per class (at most as many as the model
  // gives) to *scores. @return false for an empty text, a non-tensor input or no session.
  // @throws Ort::Exception on runtime failures.
  bool SCRParse(const std::string& text, std::vector<float>* scores);

  int32_t m_logHandle;
  std::vector<std::string> m_classNames;
  std::string m_alphabet;
  int32_t m_classNum;
  Ort::Session* m_session;
  Ort::Env m_env;
  Ort::SessionOptions m_sessionOptions;
  std::vector<const char*> m_inputNames;
  std::vector<const char*> m_outputNames;
  std::vector<int64_t> m_inputShape;
  size_t m_inputTensorSize;
  std::string m_modelPath;
  std::string m_classPath;
  size_t m_alphabetSize;

 private:
  void warnAboutTensors(const std::string& modelFile) const;
  bool checkClassCount(const std::string& classFile) const;
  bool checkBundleFacts(const std::string& modelFile) const;

  std::array<int16_t, 256> m_columnOf;  // alphabet column of each byte, -1 outside the alphabet
};

// @return true when the file can be opened for reading.
QUORVEL_API bool exists_test(const std::string& path);
// @return the canonical absolute path, or the path unchanged when it does not resolve.
QUORVEL_API std::string abs_path(std::string path);
// Appends the file's lines (split at LF, nothing trimmed, a CR stays) to *output; nothing if unreadable.
QUORVEL_API void txt_to_vectorstring(std::vector<std::string>* output, const std::string& path);
// Widens each byte to one wide character.
QUORVEL_API std::wstring strToWstr(const std::string& text);

#endif
