// The plug-in's tests: a temporary tree to lay stand-in engines into, captured log records, and
// the plug-in's globals put back to their load-time state around every test.
#ifndef OCR_PLUGIN_FIXTURE_H
#define OCR_PLUGIN_FIXTURE_H

#include <dlfcn.h>
#include <gnu/libc-version.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Pellory.h"
#include "fake_engine.h"
#include "ocr_test_support.h"

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override { unbind(); }
  void TearDown() override { unbind(); }

  // The state a host sees before the first Init (the stand-in libraries stay mapped).
  static void unbind() {
    OCRInstance = nullptr;
    m_fp_ZantrelInit = nullptr;
    m_fp_ZantrelRelease = nullptr;
    m_fp_ZantrelParse = nullptr;
  }

  std::string at(const std::string& relative) const { return tmp_.path() + "/" + relative; }

  // Copies a stand-in engine to <tree>/<relative>; a fresh copy is a fresh library to the loader.
  std::string placeEngine(const char* engine, const std::string& relative) const {
    ocrtest::copyFile(engine, at(relative));
    return at(relative);
  }

  static FakeEngineState* engineState() {
    using StateFunction = FakeEngineState* (*)();
    void* function = OCRInstance == nullptr ? nullptr : dlsym(OCRInstance, "fakeEngineState");
    return function == nullptr ? nullptr : reinterpret_cast<StateFunction>(function)();
  }

  std::vector<std::string> pluginLog() const { return log_.lines(ocrtest::kPluginChannel); }

  static bool isVersionLine(const std::string& line, const std::string& enginePath, const std::string& bits = "64") {
    return ocrtest::isVersionLine(line, enginePath, gnu_get_libc_version(), bits);
  }

  ocrtest::TempDir tmp_;
  ocrtest::LogCapture log_;
};

#endif
