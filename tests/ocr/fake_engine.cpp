// Stand-in for libZantrel.so, built in variants by CMake:
//   FAKE_WITHOUT_RELEASE  lacks ZantrelRelease
//   FAKE_INIT_FAILS       ZantrelInit answers false
//   FAKE_UNRESOLVED       needs a function nothing defines, so binding everything at load fails
// ZantrelParse hands "fake text of <path>" to the host through the task's text operation.
#include <string>

#include "fake_engine.h"
#include "host_task.h"

#define FAKE_API extern "C" __attribute__((visibility("default")))

// Internal, so that every loaded copy counts for itself: the plug-in loads engines RTLD_GLOBAL,
// and an exported variable would resolve to the first copy loaded.
static FakeEngineState state = {0, 0, 0, nullptr, nullptr};

FAKE_API FakeEngineState* fakeEngineState() { return &state; }

#ifdef FAKE_UNRESOLVED
extern "C" void fake_engine_missing_function();
#endif

FAKE_API bool ZantrelInit() {
  ++state.initCalls;
#ifdef FAKE_UNRESOLVED
  fake_engine_missing_function();
#endif
#ifdef FAKE_INIT_FAILS
  return false;
#else
  return true;
#endif
}

#ifndef FAKE_WITHOUT_RELEASE
FAKE_API void ZantrelRelease() { ++state.releaseCalls; }
#endif

FAKE_API int ZantrelParse(const char* path, void* task) {
  ++state.parseCalls;
  state.lastPath = path;
  state.lastTask = task;
  const std::string text = std::string("fake text of ") + path;
  veskhost::putTaskText(task, text.data(), text.size());
  return kFakeParseResult;
}
