#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "audio/wav_file.h"
#include "siggen/async_source.h"
#include "siggen/generator.h"

extern char **environ;

namespace sirrel::siggen {
namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string ReadWhole(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteWhole(const std::string &path, const std::string &data) { std::ofstream(path, std::ios::binary) << data; }

std::vector<std::string> Entries(const std::string &folder)
{
    std::vector<std::string> names;
    if (DIR *dir = opendir(folder.c_str())) {
        while (const dirent *entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

std::vector<int16_t> ReadWav(const std::string &path, uint32_t *rate)
{
    WavFile wav;
    EXPECT_TRUE(wav.OpenRead(path.c_str(), 0)) << path;
    EXPECT_EQ(wav.Kind(), WavFile::kPcm);
    EXPECT_EQ(wav.Bits(), 16u);
    EXPECT_EQ(wav.Channels(), 1u);
    *rate = wav.Rate();
    std::vector<uint8_t> bytes(wav.DataLength());
    EXPECT_EQ(wav.ReadData(bytes.data(), wav.DataLength()), wav.DataLength());
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    return samples;
}

// Each test gets a folder for the program's output (which must hold nothing after a failure) and one for the
// captured streams.
class SiggenCommandLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/siggen_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root_ = pattern;
        outDir_ = root_ + "/out";
        streams_ = root_ + "/streams";
        ASSERT_EQ(mkdir(outDir_.c_str(), 0755), 0);
        ASSERT_EQ(mkdir(streams_.c_str(), 0755), 0);
    }

    void TearDown() override
    {
        for (const std::string &folder : {outDir_, streams_}) {
            for (const std::string &name : Entries(folder))
                unlink((folder + "/" + name).c_str());
            rmdir(folder.c_str());
        }
        rmdir(root_.c_str());
    }

    // Runs the program with the arguments and input, its temporary folder set to the output folder.
    Outcome Run(const std::vector<std::string> &args, const std::string &input = "")
    {
        const std::string in = streams_ + "/in";
        const std::string out = streams_ + "/stdout";
        const std::string err = streams_ + "/stderr";
        WriteWhole(in, input);
        std::vector<std::string> env;
        for (char **e = environ; *e; ++e) {
            if (std::string(*e).rfind("TMPDIR=", 0) != 0)
                env.emplace_back(*e);
        }
        env.push_back("TMPDIR=" + outDir_);
        std::vector<char *> argv{const_cast<char *>(SIRREL_GEN_PROGRAM)};
        for (const std::string &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<char *> envp;
        for (std::string &e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);

        const pid_t child = fork();
        if (child == 0) {
            const int i = open(in.c_str(), O_RDONLY);
            const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (i < 0 || o < 0 || e < 0 || dup2(i, 0) < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0)
                _exit(127);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        Outcome outcome;
        int status = 0;
        EXPECT_EQ(waitpid(child, &status, 0), child);
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        outcome.out = ReadWhole(out);
        outcome.err = ReadWhole(err);
        return outcome;
    }

    std::string Out(const std::string &name) const { return outDir_ + "/" + name; }

    std::string root_;
    std::string outDir_;
    std::string streams_;
};

TEST_F(SiggenCommandLine, EachErrorIsOneLineAndStatus2AndLeavesNoFile)
{
    const std::string out = Out("signal.wav");
    struct Case {
        std::vector<std::string> args;
        std::string expected;
    };
    const Case cases[] = {
        {{"hi"}, "no output file"},
        {{"-o", out, "--bogus", "hi"}, "unknown option '--bogus'"},
        {{"-o", out, "hi", "--baud"}, "option '--baud' needs a value"},
        {{"-o", out, "--baud", "fast", "hi"}, "bad value 'fast' for option '--baud': expected a number"},
        {{"-o", out, "--baud=12x", "hi"}, "bad value '12x' for option '--baud'"},
        {{"-o", out, "--baud", "nan", "hi"}, "bad value 'nan' for option '--baud'"},
        {{"-o", out, "--baud", "0", "hi"}, "baud rate 0"},
        {{"-o", out, "--mode", "morse", "hi"}, "bad value 'morse' for option '--mode'"},
        {{"-o", out, "--parity", "mark", "hi"}, "bad value 'mark' for option '--parity'"},
        {{"-o", out, "--stop", "3", "hi"}, "bad value '3' for option '--stop': expected 1, 1.5 or 2"},
        {{"-o", out, "--space", "0", "hi"}, "tone 0 Hz"},
        {{"-o", out, "--mark", "6000", "hi"}, "tone 6000 Hz"},
        {{"-o", out, "--offset", "-1000", "hi"}, "tone 0 Hz"},
        {{"-o", out, "--space", "1170", "hi"}, "both 1170 Hz"},
        {{"-o", out, "--rate", "0", "hi"}, "sample rate"},
        {{"-o", out, "--rate", "-8000", "hi"}, "bad value '-8000' for option '--rate'"},
        {{"-o", out, "--rate", "99999999999999999999", "hi"}, "--rate"},
        {{"-o", out, "--amplitude", "1.5", "hi"}, "amplitude"},
        {{"-o", out, "--lead", "-1", "hi"}, "lead"},
        {{"-o", out, "--trail", "1e9", "hi"}, "trail"},
        {{"-o", out, "--snr", "inf", "hi"}, "bad value 'inf' for option '--snr'"},
        {{"-o", out, "--seed", "-1", "hi"}, "bad value '-1' for option '--seed'"},
        {{"-o", out, "--help=yes", "hi"}, "option '--help' takes no value"},
        {{"-o", out, "--polarity", "auto", "hi"}, "bad value 'auto' for option '--polarity': expected normal|reversed"},
        {{"-o", out, "--reverse", "hi"}, "unknown option '--reverse'"},
        {{"-o", out, "--version", "342", "hi"}, "unexpected argument"}, // no longer the ARQ-M pattern
        {{"-o", out, "--mode", "arqm", "--repetition", "256", "hi"}, "expected a whole number from 1 to 255"},
        {{"-o", out, "one", "two"}, "unexpected argument 'two'"},
        {{"-o", out, "--rate", "384000", "--lead", "86400", "hi"}, "more than a WAV file holds"},
        {{"-o", Out("missing/signal.wav"), "hi"}, "No such file or directory"},
        {{"-o", outDir_, "hi"}, "Is a directory"},
        {{"-o", Out("folder/"), "hi"}, "not a file name"},
    };
    for (const Case &c : cases) {
        std::string shown;
        for (const std::string &a : c.args)
            shown += a + " ";
        const Outcome r = Run(c.args);
        EXPECT_EQ(r.status, 2) << shown;
        EXPECT_EQ(r.out, "") << shown;
        EXPECT_EQ(r.err.rfind("sirrel-gen: ", 0), 0u) << shown << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << shown << "not one line: " << r.err;
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << shown << r.err;
        EXPECT_TRUE(Entries(outDir_).empty()) << shown << "left " << Entries(outDir_).front();
    }
}

TEST_F(SiggenCommandLine, WritesTheSignalItsOptionsDescribe)
{
    const std::vector<std::string> options = {
        "--mode",      "ira",    "--parity", "odd",        "--stop",      "2",        "--baud", "110",    "--space",
        "1500",        "--mark", "1300",     "--polarity", "reversed",    "--offset", "10",     "--rate", "8000",
        "--amplitude", "0.3",    "--lead",   "0.2",        "--trail=0.1", "--snr",    "15",     "--seed", "7"};
    std::vector<std::string> args = options;
    args.insert(args.end(), {"-o", Out("signal.wav"), "Hello\nworld"});
    const Outcome r = Run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, "");

    GeneratorSettings s;
    s.baud = 110;
    s.space = 1500;
    s.mark = 1300;
    s.reverse = true;
    s.offset = 10;
    s.sampleRate = 8000;
    s.amplitude = 0.3;
    s.leadSeconds = 0.2;
    s.trailSeconds = 0.1;
    s.snrDb = 15;
    s.seed = 7;
    const AsyncSource source(AsyncSource::Code::kIra, Parity::kOdd, 2.0);
    Keying keying;
    source.Encode("Hello\nworld", keying);
    Generator generator(s);
    uint32_t rate = 0;
    EXPECT_EQ(ReadWav(Out("signal.wav"), &rate), generator.Render(keying, source.IdleLevel()));
    EXPECT_EQ(rate, 8000u);
    EXPECT_EQ(Entries(outDir_), std::vector<std::string>{"signal.wav"}) << "a temporary file was left";

    // The same options with the WAV file on standard output give the same bytes.
    args = options;
    args.insert(args.end(), {"-o", "-", "Hello\nworld"});
    const Outcome piped = Run(args);
    ASSERT_EQ(piped.status, 0) << piped.err;
    EXPECT_EQ(piped.out, ReadWhole(Out("signal.wav")));
    EXPECT_EQ(Entries(outDir_), std::vector<std::string>{"signal.wav"}) << "a temporary file was left";
}

TEST_F(SiggenCommandLine, TextFromArgumentOrStandardInput)
{
    const std::string text = "CQ CQ DE TEST 599\n";
    ASSERT_EQ(Run({"-o", Out("argument.wav"), text}).status, 0);
    ASSERT_EQ(Run({"-o", Out("stdin.wav")}, text).status, 0);
    ASSERT_EQ(Run({"-o", Out("dash.wav"), "-"}, text).status, 0);
    const std::string expected = ReadWhole(Out("argument.wav"));
    EXPECT_EQ(ReadWhole(Out("stdin.wav")), expected);
    EXPECT_EQ(ReadWhole(Out("dash.wav")), expected);

    // After "--" a text may begin with a dash; it is ITA2 figures: shift, "-", "5".
    ASSERT_EQ(Run({"-o", Out("minus.wav"), "--lead", "0", "--trail", "0", "--", "-5"}).status, 0);
    uint32_t rate = 0;
    const std::vector<int16_t> samples = ReadWav(Out("minus.wav"), &rate);
    EXPECT_EQ(samples.size(), static_cast<size_t>(std::lround(3 * 7.5 * 11025 / 45.45)));
}

TEST_F(SiggenCommandLine, ExistingFileIsReplacedOnlyBySuccess)
{
    const std::string out = Out("signal.wav");
    WriteWhole(out, "previous contents");
    EXPECT_EQ(Run({"-o", out, "--baud", "0", "hi"}).status, 2);
    EXPECT_EQ(ReadWhole(out), "previous contents");
    EXPECT_EQ(Run({"-o", out, "hi"}).status, 0);
    uint32_t rate = 0;
    EXPECT_FALSE(ReadWav(out, &rate).empty());
    EXPECT_EQ(Entries(outDir_).size(), 1u);
}

TEST_F(SiggenCommandLine, WarningsLeaveTheSignalIntact)
{
    const Outcome dropped = Run({"-o", Out("a.wav"), "caf\xC3\xA9\t!"});
    EXPECT_EQ(dropped.status, 0);
    EXPECT_EQ(dropped.err, "sirrel-gen: warning: left out 2 characters that ITA2 cannot send\n");

    const Outcome clipped = Run({"-o", Out("b.wav"), "--amplitude", "1", "--snr", "0", "hi"});
    EXPECT_EQ(clipped.status, 0);
    EXPECT_NE(clipped.err.find("samples clipped"), std::string::npos) << clipped.err;
    EXPECT_EQ(clipped.err.find('\n'), clipped.err.size() - 1);
}

TEST_F(SiggenCommandLine, InformationOnStandardOutput)
{
    struct Case {
        std::vector<std::string> args;
        std::string start;
    };
    const Case cases[] = {
        {{"--help"}, "Usage: sirrel-gen [options] -o FILE [TEXT]\n"},
        {{"-h"}, "Usage: sirrel-gen"},
        {{"--version"}, "sirrel-gen "},
        {{"--man"}, ".TH SIRREL\\-GEN 1"},
    };
    for (const Case &c : cases) {
        const Outcome r = Run(c.args);
        EXPECT_EQ(r.status, 0) << c.args.front();
        EXPECT_EQ(r.out.rfind(c.start, 0), 0u) << c.args.front() << ": " << r.out;
        EXPECT_EQ(r.err, "") << c.args.front();
    }
    const std::string version = Run({"--version"}).out;
    EXPECT_TRUE(std::regex_match(version, std::regex("sirrel-gen [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << version;
    EXPECT_TRUE(Entries(outDir_).empty());
}

TEST_F(SiggenCommandLine, NoArgumentsShowsHowToGetHelp)
{
    const Outcome r = Run({});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Usage: sirrel-gen [options] -o FILE [TEXT]\nTry 'sirrel-gen --help' for more information.\n");
}

} // namespace
} // namespace sirrel::siggen
