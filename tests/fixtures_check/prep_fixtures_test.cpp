// The library against training/prep.py and the trained network: the same cleaning, batches, pieces,
// one-hot rows, scores and answers for every text of prep_fixtures.txt.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Quorvel.h"
#include "QuorvelDetail.h"
#include "SCRNet.h"
#include "utils.h"

extern SCRNet* g_coderec;

namespace {

std::string unhex(const std::string& hex) {
  if (hex == "-") return "";
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

struct BatchRun {
  int mode, batchLen, sampleNums, seed, ret, effective, sampleNumsAfter;
  std::vector<std::string> batches;
};

struct Piece {
  size_t batch;
  std::string text;
  std::vector<unsigned char> rows;
  std::vector<float> scores;
};

struct Case {
  std::string name, text, cleaned;
  bool setAside = false;
  std::vector<BatchRun> runs;
  std::vector<Piece> pieces;
  bool hasAnswer = false;
  int answerSeed = 1, answerRet = 0;
  std::string answer;
};

struct Fixtures {
  std::string alphabet;  // training/prep.py's copy
  std::vector<Case> cases;
  std::vector<std::string> problems;  // malformed lines: a key, a field or a count that does not fit
};

// Reads every line strictly: an unknown key, a missing or extra field, a line outside a case, and a
// batch count that differs from the batch lines that follow are problems, not skipped lines.
Fixtures loadFixtures() {
  std::ifstream in(QUORVEL_PREP_FIXTURES);
  Fixtures fx;
  std::string line;
  size_t number = 0, batchesOwed = 0;
  auto problem = [&](const std::string& what) {
    fx.problems.push_back("line " + std::to_string(number) + ": " + what);
  };
  while (std::getline(in, line)) {
    ++number;
    if (line.empty() || line[0] == '#') continue;
    std::istringstream f(line);
    std::string key, value;
    f >> key;
    auto hex = [&f] {
      std::string field;
      f >> field;
      return unhex(field);
    };
    if (batchesOwed > 0 && key != "batch") {
      problem(std::to_string(batchesOwed) + " batch line(s) missing");
      batchesOwed = 0;
    }
    if (key == "alphabet") {
      fx.alphabet = hex();
    } else if (key == "case") {
      fx.cases.emplace_back();
      f >> fx.cases.back().name;
    } else if (fx.cases.empty()) {
      problem("'" + key + "' before the first case");
      continue;
    } else {
      Case& c = fx.cases.back();
      if (key == "text") {
        c.text = hex();
      } else if (key == "clean") {
        f >> value;
        c.setAside = value == "-";
        c.cleaned = unhex(value);
      } else if (key == "batches") {
        BatchRun r{};
        f >> r.mode >> r.batchLen >> r.sampleNums >> r.seed >> r.ret >> r.effective >> r.sampleNumsAfter >> batchesOwed;
        c.runs.push_back(r);
      } else if (key == "batch" && batchesOwed > 0 && !c.runs.empty()) {
        --batchesOwed;
        c.runs.back().batches.push_back(hex());
      } else if (key == "piece") {
        Piece p;
        f >> p.batch;
        p.text = hex();
        c.pieces.push_back(p);
      } else if (key == "rows" && !c.pieces.empty()) {
        const std::string bytes = hex();
        c.pieces.back().rows.assign(bytes.begin(), bytes.end());
        if (bytes.size() != 510) problem(std::to_string(bytes.size()) + " rows, not 510");
      } else if (key == "scores" && !c.pieces.empty()) {
        float v;
        while (f >> v) c.pieces.back().scores.push_back(v);
        if (!f.eof()) problem("a score that is not a number");
        continue;
      } else if (key == "answer") {
        c.hasAnswer = true;
        f >> c.answerSeed >> c.answerRet;
        c.answer = hex();
      } else if (key != "end") {
        problem("unknown or misplaced key '" + key + "'");
        continue;
      }
    }
    std::string extra;
    if (f.fail() || (f >> extra)) problem("fields of '" + key + "' do not fit");
  }
  if (batchesOwed > 0) problem(std::to_string(batchesOwed) + " batch line(s) missing at the end");
  return fx;
}

bool near(float a, float b) { return std::fabs(a - b) <= 2e-3f * std::max(1.0f, std::fabs(b)); }

class PrepFixtures : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    fixtures_ = new Fixtures(loadFixtures());
    cases_ = &fixtures_->cases;
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(QUORVEL_DATA_DIR), 0) << QUORVEL_DATA_DIR;
    QuorvelInit();
    ASSERT_EQ(chdir(cwd), 0);
  }
  static void TearDownTestSuite() {
    QuorvelRelease();
    delete fixtures_;
  }
  static Fixtures* fixtures_;
  static std::vector<Case>* cases_;
};

Fixtures* PrepFixtures::fixtures_ = nullptr;
std::vector<Case>* PrepFixtures::cases_ = nullptr;

TEST_F(PrepFixtures, TrainingUsesTheLibrarysAlphabet) {
  EXPECT_EQ(fixtures_->alphabet, std::string(SCR::kAlphabet, SCR::kAlphabetSize));
}

TEST_F(PrepFixtures, FileHoldsCasesOfEveryKind) {
  EXPECT_TRUE(fixtures_->problems.empty()) << testing::PrintToString(fixtures_->problems);
  size_t pieces = 0, answers = 0, setAside = 0;
  for (const Case& c : *cases_) {
    pieces += c.pieces.size();
    answers += c.hasAnswer;
    setAside += c.setAside;
  }
  EXPECT_GE(cases_->size(), 10u);
  EXPECT_GE(pieces, 10u);
  EXPECT_GE(answers, 5u);
  EXPECT_GE(setAside, 1u);
}

TEST_F(PrepFixtures, CleaningMatches) {
  for (const Case& c : *cases_) {
    std::string cleaned;
    const bool setAside = !SCR::clean_text(c.text, &cleaned);
    EXPECT_EQ(setAside, c.setAside) << c.name;
    if (!c.setAside) {
      EXPECT_EQ(cleaned, c.cleaned) << c.name;
    }
  }
}

TEST_F(PrepFixtures, BatchesMatch) {
  for (Case& c : *cases_) {
    for (const BatchRun& r : c.runs) {
      srand(static_cast<unsigned>(r.seed));
      int sampleNums = r.sampleNums, effective = -1;
      std::vector<std::string> batches;
      const int ret = get_batch_string(&c.cleaned, r.mode, r.batchLen, &sampleNums, &effective, &batches);
      const std::string where = c.name + " mode " + std::to_string(r.mode) + " batchLen " + std::to_string(r.batchLen);
      EXPECT_EQ(ret, r.ret) << where;
      EXPECT_EQ(effective, r.effective) << where;
      EXPECT_EQ(sampleNums, r.sampleNumsAfter) << where;
      EXPECT_EQ(batches, r.batches) << where;
    }
  }
}

TEST_F(PrepFixtures, OneHotRowsMatch) {
  for (const Case& c : *cases_) {
    for (const Piece& p : c.pieces) {
      std::vector<float> input;
      ASSERT_TRUE(g_coderec->pre_process(p.text, &input)) << c.name;
      ASSERT_EQ(input.size(), 510u * 96u);
      ASSERT_EQ(p.rows.size(), 510u);
      for (size_t r = 0; r < 510; ++r) {
        for (size_t col = 0; col < 96; ++col) {
          const float expected = p.rows[r] == col ? 1.0f : 0.0f;
          ASSERT_EQ(input[r * 96 + col], expected) << c.name << " row " << r << " column " << col;
        }
      }
    }
  }
}

TEST_F(PrepFixtures, PieceScoresMatchTheTrainedNetwork) {
  for (const Case& c : *cases_) {
    for (const Piece& p : c.pieces) {
      std::vector<float> scores;
      ASSERT_TRUE(g_coderec->SCRParse(p.text, &scores)) << c.name;
      ASSERT_EQ(scores.size(), p.scores.size()) << c.name;
      for (size_t k = 0; k < scores.size(); ++k)
        EXPECT_PRED2(near, scores[k], p.scores[k]) << c.name << " class " << g_coderec->m_classNames[k];
    }
  }
}

// The library cuts each batch into pieces itself: its summed scores must be those of the fixture pieces.
TEST_F(PrepFixtures, BatchPiecesMatch) {
  const size_t classes = g_coderec->m_classNames.size();
  for (const Case& c : *cases_) {
    if (c.runs.empty() || c.pieces.empty()) continue;
    const std::vector<std::string>& batches = c.runs.front().batches;
    for (const Piece& p : c.pieces) {
      ASSERT_LT(p.batch, batches.size()) << c.name;
      ASSERT_EQ(p.scores.size(), classes) << c.name;
    }
    for (size_t b = 0; b < batches.size(); ++b) {
      std::vector<float> expected(classes, 0.0f);
      bool any = false;
      for (const Piece& p : c.pieces) {
        if (p.batch != b) continue;
        any = true;
        for (size_t k = 0; k < classes; ++k) expected[k] += p.scores[k];
      }
      if (!any) continue;
      std::vector<float> got(classes, 0.0f);
      ASSERT_TRUE(_SCRParse(batches[b], got));
      for (size_t k = 0; k < classes; ++k) EXPECT_PRED2(near, got[k], expected[k]) << c.name << " batch " << b;
    }
  }
}

TEST_F(PrepFixtures, AnswersMatch) {
  for (const Case& c : *cases_) {
    if (!c.hasAnswer) continue;
    srand(static_cast<unsigned>(c.answerSeed));
    std::string result = "unset";
    const int ret = QuorvelParse(c.text, -1, result, -1, -1);
    EXPECT_EQ(ret, c.answerRet) << c.name;
    EXPECT_EQ(result, c.answer) << c.name;
  }
}

}  // namespace
