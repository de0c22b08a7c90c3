// Stand-in engines for the plug-in: what each records, returned by the function
// "fakeEngineState" of the loaded stand-in.
#ifndef OCR_FAKE_ENGINE_H
#define OCR_FAKE_ENGINE_H

struct FakeEngineState {
  int initCalls;
  int releaseCalls;
  int parseCalls;
  const char* lastPath;  // as ZantrelParse received them
  void* lastTask;
};

// What the stand-in's ZantrelParse returns, so that a test sees it handed back unchanged.
constexpr int kFakeParseResult = 7;

#endif
