// One table per program declares its options; parsing, --help and the man page are all made from it, so an
// option cannot be listed without being handled or handled without being listed.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sirrel::cli {

// A refused command line. The message names the option and goes out as one line after the program's name.
struct OptionError {
    std::string message;
};

// Thrown by a handler for a value it refuses: what it expected, for the message that names the option.
struct BadValue {
    std::string expected;
};

// The names of a set of choices, in their order, as a value placeholder: "none|even|odd".
template <typename Choices> std::string ChoiceList(const Choices &choices)
{
    std::string list;
    for (const auto &choice : choices)
        list += (list.empty() ? "" : "|") + std::string(choice.first);
    return list;
}

// The value of the choice named text; BadValue listing the choices when there is none.
template <typename Choices> auto Choose(const Choices &choices, const std::string &text)
{
    for (const auto &choice : choices) {
        if (choice.first == text)
            return choice.second;
    }
    throw BadValue{ChoiceList(choices)};
}

struct Option {
    std::string name;      // "--baud"; empty makes the entry a heading of the options after it
    std::string shortName; // "-o", or empty
    std::string value;     // placeholder of the value ("HZ"); empty for an option without a value
    std::string help;      // one line; for a heading, its text
    std::string sample;    // a value the option accepts, so tests can try every entry
    // Takes the value (empty for an option without one); throws OptionError when it is bad.
    std::function<void(const std::string &value)> handle;
    bool hidden = false; // left out of --help and the man page
};

using OptionTable = std::vector<Option>;

// What the help text and the man page say besides the options.
struct ProgramText {
    std::string name;        // "sirrel-decode"
    std::string version;     // "0.1.0"
    std::string summary;     // what the program does, a few words for the man page's NAME
    std::string arguments;   // after the name in the usage line: "[options] FILE|-"
    std::string description; // a paragraph after the usage line
    std::string notes;       // text after the options; may hold several lines
};

inline std::string UsageLine(const ProgramText &text) { return "Usage: " + text.name + " " + text.arguments + "\n"; }

// What a run without arguments prints on stderr.
inline std::string ShortUsage(const ProgramText &text)
{
    return UsageLine(text) + "Try '" + text.name + " --help' for more information.\n";
}

inline const Option *FindOption(const OptionTable &table, std::string_view name)
{
    for (const Option &option : table) {
        if (!option.name.empty() && (option.name == name || (!option.shortName.empty() && option.shortName == name)))
            return &option;
    }
    return nullptr;
}

// Walks the arguments in order, handing each option's value to its handler and every other argument to
// positional. "--name=value" gives a value inline; "--" ends the options; "-" alone is an argument.
inline void ParseOptions(const OptionTable &table, const std::vector<std::string> &args,
                         const std::function<void(const std::string &)> &positional)
{
    bool optionsEnd = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &argument = args[i];
        if (optionsEnd || argument.size() < 2 || argument[0] != '-') {
            positional(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnd = true;
            continue;
        }
        std::string name = argument;
        bool inline_ = false;
        std::string value;
        const size_t equals = argument.find('=');
        if (argument.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
            inline_ = true;
        }
        const Option *option = FindOption(table, name);
        if (!option)
            throw OptionError{"unknown option '" + name + "'"};
        if (!option->handle)
            throw OptionError{"option '" + name + "' is listed but not handled"};
        if (option->value.empty()) {
            if (inline_)
                throw OptionError{"option '" + name + "' takes no value"};
        } else if (!inline_) {
            if (i + 1 >= args.size())
                throw OptionError{"option '" + name + "' needs a value"};
            value = args[++i];
        }
        try {
            option->handle(value);
        } catch (const BadValue &bad) {
            throw OptionError{"bad value '" + value + "' for option '" + name + "': expected " + bad.expected};
        }
    }
}

inline std::string OptionLabel(const Option &option)
{
    std::string label = option.shortName.empty() ? option.name : option.shortName + ", " + option.name;
    if (!option.value.empty())
        label += " " + option.value;
    return label;
}

inline std::string HelpText(const OptionTable &table, const ProgramText &text)
{
    constexpr size_t kHelpColumn = 24;
    std::string out = UsageLine(text) + text.description + "\n";
    if (table.empty() || !table.front().name.empty())
        out += "\nOptions:\n";
    for (const Option &option : table) {
        if (option.hidden)
            continue;
        if (option.name.empty()) {
            out += "\n" + option.help + "\n";
            continue;
        }
        std::string line = "  " + OptionLabel(option);
        // A label too long for its column puts the help on a line of its own.
        line += line.size() + 2 <= kHelpColumn ? std::string(kHelpColumn - line.size(), ' ')
                                               : "\n" + std::string(kHelpColumn, ' ');
        out += line + option.help + "\n";
    }
    if (!text.notes.empty())
        out += "\n" + text.notes;
    return out;
}

// Text for roff: backslashes and dashes escaped, and no line may start with a control character.
inline std::string RoffEscape(std::string_view text)
{
    std::string out;
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && (c == '.' || c == '\''))
            out += "\\&";
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
        lineStart = c == '\n';
    }
    return out;
}

inline std::string ManPage(const OptionTable &table, const ProgramText &text)
{
    std::string upper;
    for (char c : text.name)
        upper += char(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    std::string out = ".TH " + RoffEscape(upper) + " 1 \"\" \"" + RoffEscape(text.name + " " + text.version) +
                      "\" \"User Commands\"\n";
    out += ".SH NAME\n" + RoffEscape(text.name) + " \\- " + RoffEscape(text.summary) + "\n";
    out += ".SH SYNOPSIS\n.B " + RoffEscape(text.name) + "\n" + RoffEscape(text.arguments) + "\n";
    out += ".SH DESCRIPTION\n" + RoffEscape(text.description) + "\n";
    out += ".SH OPTIONS\n";
    for (const Option &option : table) {
        if (option.hidden)
            continue;
        if (option.name.empty()) {
            out += ".SS \"" + RoffEscape(option.help) + "\"\n";
            continue;
        }
        out += ".TP\n\\fB" +
               RoffEscape(option.shortName.empty() ? option.name : option.shortName + ", " + option.name) + "\\fR";
        if (!option.value.empty())
            out += " \\fI" + RoffEscape(option.value) + "\\fR";
        out += "\n" + RoffEscape(option.help) + "\n";
    }
    // The notes keep their lines: they hold examples and formats laid out by hand.
    if (!text.notes.empty())
        out += ".SH NOTES\n.nf\n" + RoffEscape(text.notes) + (text.notes.back() == '\n' ? "" : "\n") + ".fi\n";
    return out;
}

} // namespace sirrel::cli
