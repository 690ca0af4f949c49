// The decoded output of every case in corpus.txt must stay byte for byte what golden/ holds: the signal is made
// again with sirrel-gen, and sirrel-decode's stdout and exit status are compared. scripts/golden.sh runs the
// same comparison from the shell, and rewrites the golden files with --update after a deliberate change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

const std::string kCorpusFolder = SIRREL_CORPUS_DIR;

struct CorpusCase {
    std::string name;
    std::string generator; // sirrel-gen arguments as /bin/sh reads them, without -o
    std::string decoder;   // sirrel-decode arguments, without the file
};

std::string Trimmed(const std::string &s)
{
    const size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return "";
    return s.substr(first, s.find_last_not_of(" \t\r") + 1 - first);
}

std::vector<CorpusCase> LoadCorpus()
{
    std::vector<CorpusCase> cases;
    std::ifstream in(kCorpusFolder + "/corpus.txt");
    std::string line;
    while (std::getline(in, line)) {
        const std::string trimmed = Trimmed(line);
        if (trimmed.empty() || trimmed[0] == '#')
            continue;
        const size_t first = line.find('|');
        const size_t second = first == std::string::npos ? first : line.find('|', first + 1);
        // A malformed line becomes a case of its own that fails, rather than vanishing from the run.
        if (second == std::string::npos) {
            cases.push_back({"malformed_line_" + std::to_string(cases.size()), "", trimmed});
            continue;
        }
        cases.push_back(
            {Trimmed(line.substr(0, first)), line.substr(first + 1, second - first - 1), line.substr(second + 1)});
    }
    return cases;
}

// Where two outputs part: the line number and both lines, enough to see what changed without a diff tool.
std::string FirstDifference(const std::string &expected, const std::string &actual)
{
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at])
        ++at;
    const size_t lineStart = expected.rfind('\n', at == 0 ? 0 : at - 1);
    const size_t from = lineStart == std::string::npos || at == 0 ? 0 : lineStart + 1;
    const auto lineAt = [from](const std::string &s) {
        return from >= s.size() ? std::string("<end of output>") : s.substr(from, s.find('\n', from) - from);
    };
    const size_t lineNumber = size_t(std::count(expected.begin(), expected.begin() + long(from), '\n')) + 1;
    return "first difference at byte " + std::to_string(at) + ", line " + std::to_string(lineNumber) +
           "\n  golden:  " + lineAt(expected) + "\n  decoded: " + lineAt(actual);
}

class GoldenCorpus : public ::testing::TestWithParam<CorpusCase> {};

TEST_P(GoldenCorpus, DecodedOutputIsUnchanged)
{
    const CorpusCase &c = GetParam();
    ASSERT_FALSE(c.name.starts_with("malformed_line_")) << "corpus.txt line without two '|': " << c.decoder;

    e2e::TempDir dir;
    const std::string wav = dir.file("signal.wav");
    const std::string lineEnd = "NL=" + e2e::quote("\n") + "; ";
    const auto gen = e2e::run(lineEnd + SIRREL_GEN_PROGRAM + " -o " + e2e::quote(wav) + " " + c.generator);
    ASSERT_EQ(gen.status, 0) << "sirrel-gen " << c.generator << "\n" << gen.err;

    const auto out = e2e::run(lineEnd + SIRREL_DECODE_PROGRAM + " " + c.decoder + " " + e2e::quote(wav));
    const std::string decoded = out.out + "\n[exit status " + std::to_string(out.status) + "]\n";
    const std::string goldenPath = kCorpusFolder + "/golden/" + c.name + ".txt";
    ASSERT_TRUE(std::filesystem::exists(goldenPath)) << goldenPath << " is missing: scripts/golden.sh --update";
    const std::string golden = e2e::readFile(goldenPath);
    EXPECT_TRUE(decoded == golden) << c.name << ": the decoded output differs from " << goldenPath << "\n"
                                   << FirstDifference(golden, decoded) << "\n"
                                   << "stderr: " << out.err << "\n"
                                   << "scripts/golden.sh shows the whole diff; scripts/golden.sh --update rewrites "
                                      "the golden files when the change is deliberate.";
}

// gtest names allow letters, digits and '_' only.
std::string CaseName(const ::testing::TestParamInfo<CorpusCase> &info)
{
    std::string name = info.param.name;
    for (char &ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, GoldenCorpus, ::testing::ValuesIn(LoadCorpus()), CaseName);

// An unreadable or emptied corpus would otherwise pass with nothing run.
TEST(GoldenCorpusFile, HoldsCasesWithUniqueNames)
{
    const auto cases = LoadCorpus();
    ASSERT_GE(cases.size(), 40u) << kCorpusFolder << "/corpus.txt";
    std::set<std::string> names;
    for (const CorpusCase &c : cases)
        EXPECT_TRUE(names.insert(CaseName({c, 0})).second) << "two cases named " << c.name;
}

} // namespace
