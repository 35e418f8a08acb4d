// Every failure is one line on standard error with a non-zero exit (2 for
// the command line, 1 for the run) and writes nothing at all.
#include <sndfile.h>

#include <filesystem>
#include <fstream>

#include "render_harness.h"

namespace norvale::render::test {
namespace {

struct FailureCase {
    const char* name;
    std::vector<std::string> args;  // IN, OUT, SC44 and STATE stand for files of the test
    int exitCode;
    std::vector<std::string> mentions;  // texts the error line must contain
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

class FailingRender : public RenderTest, public ::testing::WithParamInterface<FailureCase> {
protected:
    void SetUp() override {
        RenderTest::SetUp();
        Sound sound;
        sound.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
        sound.channels.assign(2, std::vector<float>(4800, 0.25f));
        writeSound(file("in.wav"), sound);
        sound.sampleRate = 44100;
        writeSound(file("sc44.wav"), sound);
        std::ofstream(file("notes.wav")) << "these are not samples\n";
        std::ofstream(file("garbage.state")) << "XXXXnot a state stream";
    }

    std::vector<std::string> expand(const std::vector<std::string>& args) const {
        std::vector<std::string> out;
        for (const std::string& arg : args) {
            if (arg == "IN") out.push_back(file("in.wav"));
            else if (arg == "OUT") out.push_back(file("out.wav"));
            else if (arg == "IN_AGAIN") out.push_back(file("../work/./in.wav"));
            else if (arg == "SC44") out.push_back(file("sc44.wav"));
            else if (arg == "TEXT") out.push_back(file("notes.wav"));
            else if (arg == "STATE") out.push_back(file("garbage.state"));
            else if (arg == "MISSING") out.push_back(file("missing.wav"));
            else out.push_back(arg);
        }
        return out;
    }

};

// An earlier render in OUT must survive, and nothing else may appear.
TEST_P(FailingRender, FailsWithOneLineAndWritesNothing) {
    const FailureCase& c = GetParam();
    std::ofstream(file("out.wav")) << "the previous render";
    const std::vector<std::string> before = workFiles();
    const std::vector<uint8_t> input = readBytes(file("in.wav"));
    const ToolRun result = run(expand(c.args));
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_EQ(result.out, "");
    ASSERT_EQ(result.err.rfind("norvale-render: ", 0), 0u) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    for (const std::string& text : c.mentions) EXPECT_NE(result.err.find(text), std::string::npos) << result.err;
    EXPECT_EQ(workFiles(), before) << "a file was left behind";
    EXPECT_EQ(readBytes(file("in.wav")), input);
    const std::vector<uint8_t> kept = readBytes(file("out.wav"));
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "the previous render");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailingRender,
    ::testing::Values(
        FailureCase{"UnknownOption", {"--bogus", "IN", "OUT"}, 2, {"unknown option '--bogus'"}},
        FailureCase{"MissingOutput", {"IN"}, 2, {"usage"}},
        FailureCase{"OptionWithoutValue", {"IN", "OUT", "--tempo"}, 2, {"--tempo"}},
        FailureCase{"UnknownKey", {"--set", "vol_rat=1/8", "IN", "OUT"}, 2, {"vol_rat'", "vol_rate"}},
        FailureCase{"SettingWithoutText", {"--set", "vol_rate", "IN", "OUT"}, 2, {"KEY=TEXT"}},
        FailureCase{"RejectedText", {"--set", "vol_rate=often", "IN", "OUT"}, 2, {"vol_rate", "'often'"}},
        FailureCase{"BlockZero", {"--block", "0", "IN", "OUT"}, 2, {"--block"}},
        FailureCase{"BlockTooLarge", {"--block=4097", "IN", "OUT"}, 2, {"--block", "4097"}},
        FailureCase{"BlockNotANumber", {"--block", "big", "IN", "OUT"}, 2, {"--block", "big"}},
        FailureCase{"TempoZero", {"--tempo", "0", "IN", "OUT"}, 2, {"--tempo"}},
        FailureCase{"EmptyNoteBeat", {"--notes", "1,,2", "IN", "OUT"}, 2, {"--notes"}},
        FailureCase{"NoteKeyOutOfRange", {"--note", "128", "IN", "OUT"}, 2, {"--note"}},
        FailureCase{"OutputIsInput", {"IN", "IN"}, 2, {"refusing"}},
        FailureCase{"OutputIsInputSpelledOtherwise", {"IN", "IN_AGAIN"}, 2, {"refusing"}},
        FailureCase{"PlotOverSidechain", {"--sidechain", "SC44", "--plot", "SC44", "IN", "OUT"}, 2, {"refusing"}},
        FailureCase{"MissingInput", {"MISSING", "OUT"}, 1, {"missing.wav"}},
        FailureCase{"UnreadableInput", {"TEXT", "OUT"}, 1, {"cannot read", "notes.wav"}},
        FailureCase{"SidechainAtAnotherRate", {"--sidechain", "SC44", "IN", "OUT"}, 1, {"44100", "48000"}},
        FailureCase{"RejectedState", {"--state-in", "STATE", "IN", "OUT"}, 1, {"rejected the state"}},
        FailureCase{"MissingPlugin", {"--plugin", "MISSING", "IN", "OUT"}, 1, {"missing.wav"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace norvale::render::test
