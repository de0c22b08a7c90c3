// The quorvel program end to end: a deployment tree laid out from the build, files made by the
// tests, the program run as a user runs it, its output and exit status checked.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "names.h"

#ifdef QUORVEL_HAVE_LIBARCHIVE
#include <archive.h>
#include <archive_entry.h>
#endif

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

TEST_F(HostProgramTest, EntriesThatAreNotScannedEachGetALine) {
  const fs::path odd = *tree_ / "odd";
  fs::create_directories(odd);
  write(odd / "code.txt", codeOf('b'));
  ASSERT_EQ(mkfifo((odd / "fifo").c_str(), 0644), 0);
  const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  snprintf(address.sun_path, sizeof address.sun_path, "%s", (odd / "sock").c_str());
  ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  fs::create_symlink("loop2", odd / "loop1");
  fs::create_symlink("loop1", odd / "loop2");
  fs::create_directories(odd / "sub");
  fs::create_symlink("..", odd / "sub/up");
  // A path beyond PATH_MAX, made one folder at a time, and folders nested beyond the walk's depth.
  int folder = open(odd.c_str(), O_DIRECTORY);
  for (int i = 0; i < 25 && folder >= 0; ++i) {
    const std::string name = std::string(200, 'n') + std::to_string(i);
    const int inner = mkdirat(folder, name.c_str(), 0755) == 0 ? openat(folder, name.c_str(), O_DIRECTORY) : -1;
    close(folder);
    folder = inner;
  }
  ASSERT_GE(folder, 0);
  close(openat(folder, "f.txt", O_CREAT | O_WRONLY, 0644));
  close(folder);
  ASSERT_EQ(run("mkdir -p " + odd.string() + "/deep/$(printf 'd/%.0s' $(seq 520))").status, 0);
  const Outcome r = run(exe() + " scan --no-progress " + odd.string());
  run("rm -rf " + odd.string());
  close(sock);
  EXPECT_EQ(r.status, 1) << r.out;
  const std::string o = odd.string();
  for (const std::string& line :
       {o + "/code.txt\tcode\tBeta\n", o + "/fifo\tskipped\tFIFO, not a regular file\n",
        o + "/sock\tskipped\tsocket, not a regular file\n", o + "/loop1\tskipped\tsymbolic link loop\n",
        o + "/loop2\tskipped\tsymbolic link loop\n", o + "/sub/up\tskipped\tsymbolic link loop\n",
        std::string("\terror\tFile name too long\n"), std::string("\terror\tfolder nested deeper than 512 levels\n")})
    EXPECT_NE(r.out.find(line), std::string::npos) << "missing: " << line;
  EXPECT_NE(r.out.find("\n8 files (code 1, skipped 5, error 2) in "), std::string::npos)
      << r.out.substr(r.out.size() - 200);
}

TEST_F(HostProgramTest, AwkwardNamesStayOnOneLineAndJsonStaysUtf8) {
  const fs::path folder = *tree_ / "names";
  write(folder / "two\nlines\tand tab.txt", codeOf('b'));
  write(folder / "latin\xE9.txt", codeOf('c'));
  const Outcome plain = run(exe() + " scan --no-progress " + folder.string());
  const Outcome json = run(exe() + " scan --json " + folder.string());
  fs::remove_all(folder);
  const std::string f = folder.string();
  EXPECT_EQ(plain.out.substr(0, plain.out.find("\n\n") + 1),
            f + "/latin\xE9.txt\tcode\tGamma\n" + f + "/two\\nlines\\tand tab.txt\tcode\tBeta\n");
  EXPECT_NE(json.out.find("{\"path\":\"" + f + "/latin\xEF\xBF\xBD.txt\",\"answer\":\"code\""), std::string::npos)
      << json.out;
  EXPECT_NE(json.out.find("\"path_bytes\":\"" + host::hexBytes(f) + "2f6c6174696ee92e747874\"}\n"), std::string::npos)
      << json.out;
  EXPECT_NE(json.out.find("{\"path\":\"" + f + "/two\\nlines\\tand tab.txt\""), std::string::npos) << json.out;
  EXPECT_TRUE(host::isValidUtf8(json.out));
}

TEST_F(HostProgramTest, ImagesAreKnownByTheirBytesNotTheirNames) {
  const fs::path folder = *tree_ / "kinds";
  const fs::path image = fs::path(QUORVEL_TEST_FIXTURES) / "../../samples/listing.png";
  write(folder / "notes.png", codeOf('b'));
  fs::copy_file(image, folder / "picture");
  const Outcome named = run(exe() + " scan --no-progress " + folder.string());
  const Outcome piped = run(exe() + " scan - < " + image.string());
  fs::remove_all(folder);
  EXPECT_NE(named.out.find(folder.string() + "/notes.png\tcode\tBeta\n"), std::string::npos) << named.out;
  const std::string picture = named.out.substr(named.out.find("/picture\t"));
  EXPECT_EQ(picture.substr(0, picture.find('\n')).substr(picture.find('\n') - 4), "\tocr") << named.out;
  const std::string stdinLine = piped.out.substr(0, piped.out.find('\n'));
  EXPECT_EQ(stdinLine.substr(stdinLine.size() - 4), "\tocr") << piped.out;
  if (*ZANTREL_LIB) {  // with the engine built, the image is read, not refused
    EXPECT_EQ(picture.find("\terror\t"), std::string::npos) << picture;
    EXPECT_EQ(stdinLine.find("\terror\t"), std::string::npos) << stdinLine;
  }
}

TEST_F(HostProgramTest, TextsInOtherEncodingsAreParsed) {
  const fs::path folder = *tree_ / "encodings";
  std::string utf16 = "\xFF\xFE";
  for (char c : codeOf('b')) utf16 += std::string{c, '\0'};
  write(folder / "utf16.txt", utf16);
  write(folder / "nul-ended.txt", codeOf('c') + std::string(1, '\0'));
  write(folder / "nul-inside.txt", codeOf('c') + std::string(1, '\0') + "x");
  const Outcome r = run(exe() + " scan --no-progress " + folder.string());
  fs::remove_all(folder);
  const std::string f = folder.string();
  EXPECT_EQ(r.out.substr(0, r.out.find("\n\n") + 1), f + "/nul-ended.txt\tcode\tGamma\n" + f +
                                                         "/nul-inside.txt\tskipped\tbinary file\n" + f +
                                                         "/utf16.txt\tcode\tBeta\n");
}

TEST_F(HostProgramTest, ReadingIsBounded) {
  // 4 GiB of NUL bytes (sparse) in an address space of 1.5 GB: only the head may be read.
  const fs::path zeros = *tree_ / "zeros.bin";
  write(zeros, "");
  ASSERT_EQ(truncate(zeros.c_str(), off_t{4} << 30), 0);
#ifdef __SANITIZE_ADDRESS__
  const std::string limit = "";  // AddressSanitizer's shadow memory alone exceeds the limit
#else
  const std::string limit = "ulimit -v 1500000 && ";
#endif
  const Outcome binary = run(limit + exe() + " scan --json " + zeros.string());
  fs::remove(zeros);
  EXPECT_EQ(binary.status, 0) << binary.out;
  EXPECT_NE(binary.out.find("\"answer\":\"skipped\",\"classes\":[],\"ocr\":false,\"bytes\":4294967296,"),
            std::string::npos)
      << binary.out;
  const std::string big = samples() + "/beta.txt";  // 500 bytes
  Outcome r = run(exe() + " scan --max-bytes 499 " + big);
  EXPECT_NE(r.out.find(big + "\tskipped\tlarger than --max-bytes (499 bytes)\n"), std::string::npos) << r.out;
  r = run(exe() + " scan --max-bytes 499 - < " + big);
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "-\tskipped\tlarger than --max-bytes (499 bytes)");
  r = run(exe() + " scan --max-bytes 500 - < " + big);
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "-\tcode\tBeta");
}

#ifdef QUORVEL_HAVE_LIBARCHIVE
// An archive in memory: `filter` one of libarchive's filter codes, `zip` for a zip file; members by
// name. With `raw`, the one member's bytes compressed alone, as gzip and the like make them.
std::string archiveOf(int filter, bool zip, const std::vector<std::pair<std::string, std::string>>& members,
                      bool raw = false) {
  archive* a = archive_write_new();
  archive_write_add_filter(a, filter);
  raw   ? archive_write_set_format_raw(a)
  : zip ? archive_write_set_format_zip(a)
        : archive_write_set_format_pax_restricted(a);
  std::vector<char> buffer(8 << 20);
  size_t used = 0;
  archive_write_open_memory(a, buffer.data(), buffer.size(), &used);
  for (const auto& [name, bytes] : members) {
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, name.c_str());
    archive_entry_set_filetype(e, AE_IFREG);
    archive_entry_set_perm(e, 0644);
    archive_entry_set_size(e, static_cast<la_int64_t>(bytes.size()));
    archive_write_header(a, e);
    archive_write_data(a, bytes.data(), bytes.size());
    archive_entry_free(e);
  }
  archive_write_close(a);
  archive_write_free(a);
  return std::string(buffer.data(), used);
}

TEST_F(HostProgramTest, ArchiveMembersAreScannedAsFiles) {
  const fs::path folder = *tree_ / "archives";
  const std::string tar = archiveOf(ARCHIVE_FILTER_NONE, false, {{"dir/b.src", codeOf('b')}, {"c.src", codeOf('c')}});
  write(folder / "plain.tar", tar);
  write(folder / "s.tar.gz", archiveOf(ARCHIVE_FILTER_GZIP, false, {{"dir/b.src", codeOf('b')}}));
  write(folder / "s.tar.bz2", archiveOf(ARCHIVE_FILTER_BZIP2, false, {{"d.src", codeOf('d')}}));
  write(folder / "s.tar.xz", archiveOf(ARCHIVE_FILTER_XZ, false, {{"c.src", codeOf('c')}}));
  write(folder / "s.tar.zst", archiveOf(ARCHIVE_FILTER_ZSTD, false, {{"b.src", codeOf('b')}}));
  write(folder / "notes.txt.gz", archiveOf(ARCHIVE_FILTER_GZIP, false, {{"x", codeOf('d')}}, true));
  // Three levels are expanded; a fourth is named, not expanded.
  const std::string level3 = archiveOf(ARCHIVE_FILTER_GZIP, false, {{"in.tar", tar}});
  const std::string level4 = archiveOf(ARCHIVE_FILTER_NONE, true, {{"deep.tar.gz", level3}});
  write(folder / "nested.zip", archiveOf(ARCHIVE_FILTER_NONE, true, {{"in.tar.gz", level3}}));
  write(folder / "nested4.zip", archiveOf(ARCHIVE_FILTER_NONE, true, {{"l.zip", level4}}));
  // 8 MB of one letter compresses about a thousandfold.
  write(folder / "bomb.gz", archiveOf(ARCHIVE_FILTER_GZIP, false, {{"x", std::string(8 << 20, 'x')}}, true));
  write(folder / "broken.tar.gz", archiveOf(ARCHIVE_FILTER_GZIP, false, {{"b.src", codeOf('b')}}).substr(0, 40));
  const std::string f = folder.string();
  const Outcome r = run(exe() + " scan --no-progress " + f);
  const Outcome small = run(exe() + " scan --no-progress --max-ratio 2000 --max-expanded 4M " + f + "/bomb.gz");
  const Outcome lenient = run(exe() + " scan --no-progress --max-ratio 2000 " + f + "/bomb.gz");
  fs::remove_all(folder);
  for (const std::string& line :
       {f + "/plain.tar!dir/b.src\tcode\tBeta\n", f + "/plain.tar!c.src\tcode\tGamma\n",
        f + "/s.tar.gz!dir/b.src\tcode\tBeta\n", f + "/s.tar.bz2!d.src\tcode\tDelta\n",
        f + "/s.tar.xz!c.src\tcode\tGamma\n", f + "/s.tar.zst!b.src\tcode\tBeta\n",
        f + "/notes.txt.gz!notes.txt\tcode\tDelta\n", f + "/nested.zip!in.tar.gz!in.tar!dir/b.src\tcode\tBeta\n",
        f + "/nested.zip!in.tar.gz!in.tar!c.src\tcode\tGamma\n",
        f + "/nested4.zip!l.zip!deep.tar.gz!in.tar\tskipped\tarchive nested deeper than 3 levels\n",
        f + "/bomb.gz!bomb\tskipped\texpands more than 100 times its compressed size, refused\n"})
    EXPECT_NE(r.out.find(line), std::string::npos) << "missing: " << line << r.out;
  EXPECT_NE(r.out.find(f + "/broken.tar.gz\terror\t"), std::string::npos) << r.out;
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(small.out.substr(0, small.out.find('\n')),
            f + "/bomb.gz!bomb\tskipped\texpands beyond 4194304 bytes in all, refused");
  EXPECT_EQ(lenient.out.substr(0, lenient.out.find('\n')), f + "/bomb.gz!bomb\tdialog\tdialog");
}
#endif

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
}

TEST_F(HostProgramTest, ValuesThatCannotWorkAreRefused) {
  for (const std::string args :
       {"--batch-len 80", "--batch-len=0", "--samples 0", "--samples=-1", "--log-level loud", "-x", "--max-bytes 0"}) {
    const Outcome r = run(exe() + " scan " + args + " " + samples() + "/beta.txt 2>&1");
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_NE(r.out.find("quorvel: "), std::string::npos) << args << ": " << r.out;
    EXPECT_EQ(r.out.find("\tcode\t"), std::string::npos) << args << ": " << r.out;
  }
  EXPECT_EQ(run(exe() + " scan --batch-len 81 --samples 1 --log-level error " + samples() + "/beta.txt").status, 0);
}

// A text whose windows answer Beta in its first half and Gamma in its second.
std::string twoHalves() {
  std::string text;
  for (int i = 0; i < 300; ++i) text += "xxxxb";
  for (int i = 0; i < 300; ++i) text += "xxxxc";
  return text;
}

TEST_F(HostProgramTest, DrawnWindowsGiveEveryCopyOfATextTheSameAnswer) {
  const fs::path folder = *tree_ / "copies";
  for (int i = 0; i < 16; ++i) write(folder / ("copy" + std::to_string(i + 10) + ".txt"), twoHalves());
  auto answers = [](const std::string& out) {
    std::vector<std::string> found;
    for (size_t at = 0; (at = out.find(".txt\t", at)) != std::string::npos; ++at)
      found.push_back(out.substr(at + 5, out.find('\n', at) - at - 5));
    return found;
  };
  const std::string options = " scan --no-progress --mode 2 --samples 1 ";
  const std::vector<std::string> one = answers(run(exe() + options + folder.string()).out);
  const std::vector<std::string> two = answers(run(exe() + options + "--jobs 2 " + folder.string()).out);
  const std::vector<std::string> alone = answers(run(exe() + options + (folder / "copy25.txt").string()).out);
  ASSERT_EQ(one.size(), 16u);
  EXPECT_EQ(one, std::vector<std::string>(16, one.front()));
  EXPECT_EQ(two, one);
  EXPECT_EQ(alone, std::vector<std::string>{one.front()});
  fs::remove_all(folder);
}

TEST_F(HostProgramTest, CodeInTheMiddleOfATextIsSeenByDefault) {
  // 1,500 bytes: the library's own choice would look at the first and last 500 only.
  const std::string text = std::string(600, 'x') + std::string(300, 'c') + std::string(600, 'x');
  const std::string input = "printf '%s' '" + text + "' | " + exe() + " scan";
  auto firstLine = [](const Outcome& r) { return r.out.substr(0, r.out.find('\n')); };
  EXPECT_EQ(firstLine(run(input + " -")), "-\tcode\tGamma");
  EXPECT_EQ(firstLine(run(input + " --mode -1 -")), "-\tdialog\tdialog");
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

TEST_F(HostProgramTest, WithoutTheOcrPlugInAnImageIsAnErrorNotABinaryFile) {
  const fs::path plugin = *tree_ / "lib/libPellory.so";
  const bool present = fs::is_symlink(plugin);
  if (present) fs::rename(plugin, plugin.string() + ".away");
  const fs::path image = fs::path(QUORVEL_TEST_FIXTURES) / "../../samples/listing.png";
  const Outcome r = run(exe() + " scan --no-progress " + image.string() + " 2>&1");
  if (present) fs::rename(plugin.string() + ".away", plugin);
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("listing.png\terror\t"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("OCR unavailable"), std::string::npos) << r.out;
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
