// The command line: which arguments set the folders, the flags and the number of threads.
// Arbitrary arguments, and "-?", are the options fuzz target's; here each rule once.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "driver/options.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

struct Parsed {
    OptionsResult result;
    Options options;
    std::string out;  // what the parser printed
};

std::string working_folder() {
    std::string folder;
    EXPECT_TRUE(platform::current_folder(folder));
    return folder;
}

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

TEST(Options, FoldersFlagsAndThreadsFromTheArguments) {
    // "=" stands for the default, the working folder and a backslash; jobs 0 for the
    // default, one thread per processor.
    const struct {
        std::vector<std::string> args;
        std::string input, output;
        bool nochm, modern;
        unsigned jobs;
    } cases[] = {
        {{}, "=", "=", false, false, 0},
        {{"-indir:pages\\", "-outdir:"}, "pages\\", "\\", false, false, 0},  // one backslash
        {{"-indir:a", "-nochm", "-modern", "-indir:b"}, "b\\", "=", true, true, 0},
        {{"-jobs:1"}, "=", "=", false, false, 1},
        {{"-jobs:256", "-jobs:0", "-jobs:257", "-jobs:3x", "-jobs:", "-jobs:-1"}, "=", "=", false, false, 256},
    };
    const std::string working = working_folder() + "\\";
    for (const auto& c : cases) {
        Parsed parsed = parse(c.args);
        std::string label = testing::PrintToString(c.args);
        EXPECT_EQ(parsed.result, OptionsResult::run) << label;
        EXPECT_EQ(parsed.options.input_folder, c.input == "=" ? working : c.input) << label;
        EXPECT_EQ(parsed.options.output_folder, c.output == "=" ? working : c.output) << label;
        EXPECT_EQ(parsed.options.nochm, c.nochm) << label;
        EXPECT_EQ(parsed.options.modern, c.modern) << label;
        EXPECT_EQ(parsed.options.jobs, c.jobs ? c.jobs : std::min(platform::processor_count(), 256u)) << label;
        EXPECT_EQ(parsed.out, "") << label;
    }
}

// The help text and the version are asked for by a few spellings; the first query ends the
// examination, and nothing is printed yet.
TEST(Options, QueriesForTheHelpTextAndTheVersion) {
    const struct {
        std::vector<std::string> args;
        OptionsResult result;
    } cases[] = {
        {{"-?"}, OptionsResult::help},
        {{"-indir:a", "-h", "-version"}, OptionsResult::help},
        {{"--help"}, OptionsResult::help},
        {{"/?"}, OptionsResult::help},
        {{"-nochm", "--version", "-?"}, OptionsResult::version},
        {{"-version"}, OptionsResult::version},
        {{"-help", "-H", "--h", "-v", "-V", "--Version", "/h", "-?x"}, OptionsResult::run},
    };
    for (const auto& c : cases) {
        Parsed parsed = parse(c.args);
        EXPECT_EQ(parsed.result, c.result) << testing::PrintToString(c.args);
        EXPECT_EQ(parsed.out, "") << testing::PrintToString(c.args);
    }
}

// The default appends a backslash without looking at the working folder's last byte.
TEST(Options, DefaultsAppendABackslashEvenToTheRoot) {
    const std::string before = working_folder();
    ASSERT_EQ(::chdir("/"), 0);
    Parsed parsed = parse({"-indir:x"});
    ASSERT_EQ(::chdir(before.c_str()), 0);
    EXPECT_EQ(parsed.options.output_folder, "/\\");
}

}  // namespace
