// The command line: which arguments set the folders and the nochm flag, and "-?".
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "driver/options.h"
#include "test_support.h"

namespace {

struct Parsed {
    OptionsResult result;
    Options options;
    std::string out;  // what the parser printed
};

Parsed parse(std::vector<std::string> args) {
    args.insert(args.begin(), "tolbrik");
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    Parsed parsed;
    testing::internal::CaptureStdout();
    parsed.result = parse_options(static_cast<int>(args.size()), argv.data(), parsed.options);
    parsed.out = testing::internal::GetCapturedStdout();
    return parsed;
}

std::string working_folder() {
    char buffer[4096];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

TEST(Options, FoldersAndNochmFromTheArguments) {
    // "=" stands for the default: the working folder followed by a backslash.
    struct Case {
        std::vector<std::string> args;
        std::string input, output;
        bool nochm;
    };
    const std::vector<Case> cases = {
        {{}, "=", "=", false},
        {{"-indir:pages"}, "pages\\", "=", false},
        {{"-outdir:html"}, "=", "html\\", false},
        {{"-indir:"}, "\\", "=", false},
        {{"-outdir:"}, "=", "\\", false},
        {{"-indir:in/"}, "in/\\", "=", false},
        {{"-indir:C:\\man\\"}, "C:\\man\\", "=", false},
        {{"-indir:a\\\\"}, "a\\\\", "=", false},
        {{"-indir:with space", "-outdir:x y"}, "with space\\", "x y\\", false},
        {{"-outdir:first", "-outdir:second"}, "=", "second\\", false},
        {{"-indir:a", "-nochm", "-indir:b"}, "b\\", "=", true},
        {{"-nochm", "-nochm"}, "=", "=", true},
        {{"-indir:-nochm"}, "-nochm\\", "=", false},
        {{"-outdir:-indir:x"}, "=", "-indir:x\\", false},
        // Other letter cases and near misses are ignored.
        {{"-NOCHM", "-Nochm", "-nochm ", "-nochmx", "nochm", "--nochm", "-nochm:"}, "=", "=", false},
        {{"-INDIR:x", "-Outdir:y", "-indir", "-outdir", "indir:x", "-indir=x", "/indir:x"}, "=", "=", false},
        {{"-?x", "-??", "?", "/?", "-", "", "-h", "--help"}, "=", "=", false},
    };
    const std::string cwd = working_folder() + "\\";
    for (const Case& c : cases) {
        Parsed parsed = parse(c.args);
        std::string label = testing::PrintToString(c.args);
        EXPECT_EQ(parsed.result, OptionsResult::run) << label;
        EXPECT_EQ(parsed.options.input_folder, c.input == "=" ? cwd : c.input) << label;
        EXPECT_EQ(parsed.options.output_folder, c.output == "=" ? cwd : c.output) << label;
        EXPECT_EQ(parsed.options.nochm, c.nochm) << label;
        EXPECT_EQ(parsed.out, "") << label;
    }
}

TEST(Options, DefaultsAppendABackslashWithoutLookingAtTheWorkingFolder) {
    const std::string before = working_folder();
    ASSERT_EQ(::chdir("/"), 0);
    Parsed parsed = parse({"-indir:x"});
    ASSERT_EQ(::chdir(before.c_str()), 0);
    EXPECT_EQ(parsed.options.input_folder, "x\\");
    EXPECT_EQ(parsed.options.output_folder, "/\\");
}

TEST(Options, EveryArgumentIsExamined) {
    std::vector<std::string> args(300, "ignored");
    args[200] = "-indir:late";
    args[298] = "-outdir:later";
    args[299] = "-nochm";
    Parsed parsed = parse(args);
    EXPECT_EQ(parsed.options.input_folder, "late\\");
    EXPECT_EQ(parsed.options.output_folder, "later\\");
    EXPECT_TRUE(parsed.options.nochm);

    args[299] = "-?";
    EXPECT_EQ(parse(args).result, OptionsResult::help);
}

TEST(Options, HelpPrintsTheTextAndStopsExamining) {
    const std::string help = testing_support::help_bytes();
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"-?"},
             {"-nochm", "-?"},
             {"-?", "-nochm", "-indir:x", "-outdir:y", "-?"},
         }) {
        Parsed parsed = parse(args);
        std::string label = testing::PrintToString(args);
        EXPECT_EQ(parsed.result, OptionsResult::help) << label;
        EXPECT_EQ(parsed.out, help) << label;
        // Arguments after "-?" have no effect.
        EXPECT_EQ(parsed.options.nochm, args[0] == "-nochm") << label;
        EXPECT_NE(parsed.options.input_folder, "x\\") << label;
        EXPECT_NE(parsed.options.output_folder, "y\\") << label;
    }
}

}  // namespace
