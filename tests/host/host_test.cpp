// The quorvel program end to end: a deployment tree laid out from the build, files made by the
// tests, the program run as a user runs it, its output and exit status checked.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

struct Outcome {
  int status = -1;
  std::string out;
};

// Runs a shell command line, capturing standard output (standard error goes to the test log).
Outcome run(const std::string& command) {
  Outcome r;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return r;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) r.out.append(buffer.data(), n);
  const int raw = pclose(pipe);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return r;
}

void write(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

// 500 bytes that the count model scores as the class of `letter` (a..d: Alpha..Delta).
std::string codeOf(char letter) { return std::string(400, 'x') + std::string(100, letter); }

class HostProgramTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    tree_ = new fs::path(fs::temp_directory_path() / ("quorvel-host-" + std::to_string(getpid())));
    fs::remove_all(*tree_);
    const fs::path& t = *tree_;
    fs::create_directories(t / "bin");
    fs::copy_file(QUORVEL_EXE, t / "bin/quorvel");  // a copy: the program finds the tree from its own path
    fs::create_directories(t / "lib/veskcomm");
    for (const char* lib : {QUORVEL_LIB, MORVIK_LIB, ORT_LIB, PELLORY_LIB})
      if (*lib) fs::create_symlink(lib, t / "lib" / fs::path(lib).filename());
    if (*ZANTREL_LIB) fs::create_symlink(ZANTREL_LIB, t / "lib/veskcomm/libZantrel.so");
    fs::create_directories(t / "data/models/SCR");
    fs::copy_file(fs::path(QUORVEL_TEST_FIXTURES) / "count_model.onnx", t / "data/models/SCR/SCR.onnx");
    write(t / "data/models/SCR/code.txt", "Alpha\nBeta\nGamma\nDelta\n");

    const fs::path s = t / "samples";
    write(s / "beta.txt", codeOf('b'));
    write(s / "nested/deeper/gamma.src", codeOf('c'));
    write(s / "prose.txt", std::string(600, 'x'));
    write(s / "tiny.txt", "hi\n");
    write(s / "blob.bin", std::string("\x7f"
                                      "ELF\0\0\x01\x02",
                                      8) +
                              std::string(200, '\0'));
    fs::create_symlink("/etc/hostname", s / "outside");
    fs::create_symlink("beta.txt", s / "inside");
    laidOut_ = true;
  }
  static void TearDownTestSuite() {
    fs::remove_all(*tree_);
    delete tree_;
  }

  // A failed lay-out must fail every test, not skip it.
  void SetUp() override { ASSERT_TRUE(laidOut_) << "the deployment tree could not be laid out"; }

  static std::string exe() { return (*tree_ / "bin/quorvel").string(); }
  static std::string samples() { return (*tree_ / "samples").string(); }
  static fs::path* tree_;
  static bool laidOut_;
};

fs::path* HostProgramTest::tree_ = nullptr;
bool HostProgramTest::laidOut_ = false;

TEST_F(HostProgramTest, ScansAFolderOneLinePerFileWithSummary) {
  const Outcome r = run("cd / && " + exe() + " scan --no-progress " + samples());
  EXPECT_EQ(r.status, 0) << r.out;
  const std::string s = samples();
  for (const std::string& line :
       {s + "/outside\tskipped\tsymbolic link leaves the scanned folder\n", s + "/beta.txt\tcode\tBeta\n",
        s + "/blob.bin\tskipped\tbinary file\n", s + "/inside\tcode\tBeta\n",
        s + "/nested/deeper/gamma.src\tcode\tGamma\n", s + "/prose.txt\tdialog\tdialog\n",
        s + "/tiny.txt\tset-aside\ttoo short or too little code material\n"})
    EXPECT_NE(r.out.find(line), std::string::npos) << "missing: " << line << "in:\n" << r.out;
  EXPECT_NE(r.out.find("\n7 files (code 3, dialog 1, set-aside 1, skipped 2) in "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("languages: Beta 2, Gamma 1\n"), std::string::npos) << r.out;
}

TEST_F(HostProgramTest, RelativePathsAreReadFromTheCallersDirectory) {
  const Outcome r = run("cd " + samples() + " && " + exe() + " scan beta.txt nested");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.substr(0, r.out.find("\n\n") + 1), "beta.txt\tcode\tBeta\nnested/deeper/gamma.src\tcode\tGamma\n");
}

TEST_F(HostProgramTest, MissingPathsAreNamedAndTheRestStillScanned) {
  const Outcome r = run("cd " + samples() + " && " + exe() + " scan no-such-file beta.txt");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("no-such-file\terror\tNo such file or directory\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("beta.txt\tcode\tBeta\n"), std::string::npos) << r.out;
}

TEST_F(HostProgramTest, JsonLinesCarryCountsAndTiming) {
  const Outcome r = run(exe() + " scan --json " + samples() + "/beta.txt " + samples() + "/tiny.txt");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("{\"path\":\"" + samples() +
                       "/beta.txt\",\"answer\":\"code\",\"classes\":[\"Beta\"],\"ocr\":false,\"bytes\":500,"
                       "\"text_bytes\":500,\"ms\":"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("\"answer\":\"set-aside\",\"classes\":[],\"ocr\":false,\"bytes\":3,"), std::string::npos);
  EXPECT_NE(r.out.find("{\"summary\":{\"files\":2,\"bytes\":503,"), std::string::npos) << r.out;
}

TEST_F(HostProgramTest, ParallelJobsGiveTheSameLinesInTheSameOrder) {
  auto lines = [](const std::string& out) { return out.substr(0, out.find("\n\n")); };
  const Outcome one = run(exe() + " scan --jobs 1 " + samples());
  const Outcome four = run(exe() + " scan --jobs 4 " + samples());
  EXPECT_EQ(lines(one.out), lines(four.out));
}

TEST_F(HostProgramTest, StandardInputAndParseOptions) {
  Outcome r = run("printf '%s' '" + codeOf('d') + "' | " + exe() + " scan -");
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "-\tcode\tDelta");
  // With windows of 100 characters in mode 1 only the last window holds the d's.
  r = run("printf '%s' '" + std::string(400, 'x') + std::string(100, 'd') + "' | " + exe() +
          " scan --mode 1 --batch-len 100 -");
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "-\tcode\tDelta");
  r = run("printf '%s' '" + std::string(400, 'x') + std::string(100, 'd') + "' | " + exe() +
          " scan --mode=1 --batch-len=0 -");
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "-\tdialog\tdialog");
}

TEST_F(HostProgramTest, UsageVersionAndBadArguments) {
  EXPECT_EQ(run(exe() + " --version").out, "quorvel 1.3.2310.18\n");
  const Outcome help = run(exe() + " --help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("usage: quorvel scan"), std::string::npos);
  EXPECT_EQ(run(exe() + " scan 2>/dev/null").status, 2);
  EXPECT_EQ(run(exe() + " scan --jobs 0 x 2>/dev/null").status, 2);
  EXPECT_EQ(run(exe() + " scan --frobnicate x 2>/dev/null").status, 2);
  EXPECT_EQ(run(exe() + " destroy 2>/dev/null").status, 2);
}

TEST_F(HostProgramTest, MissingModelBundleIsFatalAndNamed) {
  const fs::path model = *tree_ / "data/models/SCR/SCR.onnx";
  fs::rename(model, model.string() + ".away");
  const Outcome r = run(exe() + " scan " + samples() + " 2>&1");
  fs::rename(model.string() + ".away", model);
  EXPECT_EQ(r.status, 3);
  EXPECT_NE(r.out.find("quorvel: the model bundle could not be loaded"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("SCR.onnx"), std::string::npos) << r.out;
}

}  // namespace
