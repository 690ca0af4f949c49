#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../apps/common/option_table.h"

namespace sirrel::cli {
namespace {

// A table of every kind of entry, recording what reached the handlers.
struct Recorder {
    std::vector<std::string> seen;
    OptionTable table;

    Recorder()
    {
        table = {
            {"", "", "", "Heading:", "", {}},
            {"--rate", "-r", "HZ", "a rate", "8000", [this](const std::string &v) { seen.push_back("rate=" + v); }},
            {"--quiet", "", "", "no noise", "", [this](const std::string &) { seen.push_back("quiet"); }},
            {"--pick", "", "a|b", "a choice", "a",
             [this](const std::string &v) {
                 if (v != "a" && v != "b")
                     throw BadValue{"a|b"};
                 seen.push_back("pick=" + v);
             }},
            {"--forgotten", "", "", "listed, nothing behind it", "", {}},
        };
    }

    std::string Parse(const std::vector<std::string> &args)
    {
        try {
            ParseOptions(table, args, [this](const std::string &a) { seen.push_back("arg=" + a); });
        } catch (const OptionError &error) {
            return error.message;
        }
        return "";
    }
};

TEST(OptionTable, ParsesValuesFlagsAndArguments)
{
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> seen;
    };
    const Case cases[] = {
        {{"--rate", "8000", "file"}, {"rate=8000", "arg=file"}},
        {{"-r", "8000"}, {"rate=8000"}},
        {{"--rate=8000"}, {"rate=8000"}},
        {{"--rate="}, {"rate="}},
        {{"--rate", "--quiet"}, {"rate=--quiet"}}, // a value may start with a dash
        {{"--quiet", "-", "--pick", "b"}, {"quiet", "arg=-", "pick=b"}},
        {{"--", "--quiet", "-r"}, {"arg=--quiet", "arg=-r"}},
        {{""}, {"arg="}},
    };
    for (const Case &c : cases) {
        Recorder r;
        EXPECT_EQ(r.Parse(c.args), "") << c.args.front();
        EXPECT_EQ(r.seen, c.seen) << c.args.front();
    }
}

TEST(OptionTable, RefusalsNameTheOption)
{
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"--bogus=1"}, "unknown option '--bogus'"},
        {{"-x"}, "unknown option '-x'"},
        {{"Heading:"}, ""}, // a heading is no option; this is an argument
        {{"--rate"}, "option '--rate' needs a value"},
        {{"-r"}, "option '-r' needs a value"},
        {{"--quiet=yes"}, "option '--quiet' takes no value"},
        {{"--pick", "c"}, "bad value 'c' for option '--pick': expected a|b"},
        {{"--pick=c"}, "bad value 'c' for option '--pick': expected a|b"},
        {{"--forgotten"}, "option '--forgotten' is listed but not handled"},
    };
    for (const Case &c : cases) {
        Recorder r;
        EXPECT_EQ(r.Parse(c.args), c.message) << c.args.front();
    }
}

TEST(OptionTable, HelpAndManualPageListEveryShownOption)
{
    Recorder r;
    r.table.push_back({"--secret", "", "", "hidden", "", [](const std::string &) {}, true});
    const ProgramText text = {"prog",
                              "1.2.3",
                              "does things",
                              "[options] FILE",
                              "Does things to FILE.",
                              "Exit status: 0.\n.starts with a dot\n"};
    const std::string help = HelpText(r.table, text);
    EXPECT_EQ(help.rfind("Usage: prog [options] FILE\nDoes things to FILE.\n", 0), 0u) << help;
    EXPECT_NE(help.find("\nHeading:\n"), std::string::npos) << help;
    EXPECT_NE(help.find("\n  -r, --rate HZ         a rate\n"), std::string::npos) << help;
    EXPECT_NE(help.find("\n  --pick a|b            a choice\n"), std::string::npos) << help;
    EXPECT_EQ(help.find("--secret"), std::string::npos);
    EXPECT_TRUE(help.ends_with("\n\nExit status: 0.\n.starts with a dot\n")) << help;

    const std::string page = ManPage(r.table, text);
    EXPECT_EQ(page.rfind(".TH PROG 1 \"\" \"prog 1.2.3\" \"User Commands\"\n.SH NAME\nprog \\- does things\n", 0), 0u)
        << page;
    EXPECT_NE(page.find(".SS \"Heading:\"\n"), std::string::npos) << page;
    EXPECT_NE(page.find(".TP\n\\fB\\-r, \\-\\-rate\\fR \\fIHZ\\fR\na rate\n"), std::string::npos) << page;
    EXPECT_NE(page.find(".TP\n\\fB\\-\\-quiet\\fR\nno noise\n"), std::string::npos) << page;
    EXPECT_EQ(page.find("secret"), std::string::npos);
    // A line of text starting with a dot would be read as a request.
    EXPECT_NE(page.find("\n\\&.starts with a dot\n"), std::string::npos) << page;
}

TEST(OptionTable, RoffEscapes)
{
    EXPECT_EQ(RoffEscape("a-b"), "a\\-b");
    EXPECT_EQ(RoffEscape("\\r \\xHH"), "\\er \\exHH");
    EXPECT_EQ(RoffEscape(".x\n'y\nz.w"), "\\&.x\n\\&'y\nz.w");
}

TEST(OptionTable, UsageForARunWithoutArguments)
{
    const ProgramText text = {"prog", "1", "", "[options] FILE", "", ""};
    EXPECT_EQ(ShortUsage(text), "Usage: prog [options] FILE\nTry 'prog --help' for more information.\n");
}

} // namespace
} // namespace sirrel::cli
