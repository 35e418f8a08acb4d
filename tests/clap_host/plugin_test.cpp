// The plug-in file as a host meets it, through the CLAP ABI only. The CLAP
// validator covers the factory, descriptor, ports and each row's round trip.
#include "../presets/test_files.h"
#include "presets/state_codec.h"
#include "test_host.h"

#include <gtest/gtest.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <xmmintrin.h>

namespace claphost {
namespace {

constexpr uint32_t kFrames = 512;

// Material in all three bands, different per channel.
float music(uint32_t i, int ch) {
    const double t = double(i) / 48000.0;
    return float(0.3 * std::sin(6.2832 * 110.0 * t + ch) + 0.2 * std::sin(6.2832 * 900.0 * t) +
                 0.1 * std::sin(6.2832 * 5100.0 * t + 0.5 * ch));
}

// 0 for most of the cycle, 1 at its end: a one-shot at rest passes the sound
// and a fresh trigger mutes it.
const char* kDuckCurve = "0.0000 0.0000 0 0.000, 0.9000 0.0000 0 0.000, 1.0000 1.0000 0 0.000";

using Prepare = std::function<void(AudioBlock&)>;

class ClapPluginTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(module.ok()) << module.error(); }

    bool toValue(clap_id id, const char* text, double& out) const {
        return inst.params()->text_to_value(inst.plugin(), id, text, &out);
    }
    double valueOf(clap_id id, const char* text) const {
        double v = std::nan("");
        EXPECT_TRUE(toValue(id, text, v)) << text;
        return v;
    }
    // One block of music through `plugin`; `prepare` adds events or changes ports.
    std::unique_ptr<AudioBlock> run(const Instance& plugin, const Prepare& prepare = {},
                                    clap_process_status expected = CLAP_PROCESS_CONTINUE) {
        auto block = std::make_unique<AudioBlock>(kFrames);
        block->fillInput(music);
        block->outL.assign(kFrames, 7.0f), block->outR.assign(kFrames, 7.0f); // stale output
        if (prepare) prepare(*block);
        EXPECT_EQ(block->run(plugin.plugin()), expected);
        return block;
    }
    // The volume stage as a one-shot started by `mode` (1 MIDI, 2 Audio), in a fresh instance.
    std::unique_ptr<AudioBlock> oneShot(int mode, const Prepare& prepare) {
        norvale::StateRecord state;
        EXPECT_TRUE(norvale::decodeState(*inst.save(), state));
        state.values[norvale::kParamVolOn] = 1, state.values[norvale::kParamVolTrigger] = mode;
        state.values[norvale::kParamVolSmooth] = 0;
        state.values[norvale::kParamTrigNote] = 1,
        state.values[norvale::kParamTrigOctave] = 5; // C3
        for (norvale::Curve& curve : state.curves.curves[norvale::kVol])
            curve.parse(kDuckCurve);
        Instance fresh(module, host);
        EXPECT_TRUE(fresh.load(norvale::encodeState(state)) && fresh.activate());
        return run(fresh, prepare);
    }
    // Whether `block` starts ducking near `offset`, against an untriggered run.
    static bool triggeredAt(const AudioBlock& block, const AudioBlock& reference, long offset) {
        const long d = firstDifference(block, reference);
        return d >= offset - 16 && d <= offset + 16 &&
               rms(block.outL, offset + 160, kFrames) <
                   0.05 * rms(reference.outL, offset + 160, kFrames);
    }

    Module module;
    TestHost host;
    Instance inst{module, host};
};

class ClapProcessTest : public ClapPluginTest {
    void SetUp() override { ASSERT_TRUE(module.ok() && inst.activate()); }
};

// ---- entry ----

// Only the plug-in entry points may be visible, so several copies of the
// framework never clash inside one host.
TEST_F(ClapPluginTest, OnlyEntryPointsAreExported) {
    FILE* pipe = popen(("nm -D --defined-only '" + module.path() + "'").c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> exported;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe)) {
        std::istringstream fields(line);
        std::string name;
        while (fields >> name) {}
        if (name.find('@') == std::string::npos) exported.insert(name); // versioned: toolchain
    }
    ASSERT_EQ(pclose(pipe), 0);
    const std::set<std::string> allowed = {"clap_entry", "GetPluginFactory", "ModuleEntry",
                                           "ModuleExit"};
    EXPECT_EQ(exported.count("clap_entry"), 1u);
    for (const std::string& name : exported)
        EXPECT_EQ(allowed.count(name), 1u) << name;
}

// A CLAP host and the VST 3 adapter in one process each init and deinit the
// entry; the factory lasts until the last deinit.
TEST_F(ClapPluginTest, InitAndDeinitAreCounted) {
    const clap_plugin_entry_t* entry = module.entry();
    ASSERT_TRUE(entry->init(module.path().c_str()));
    entry->deinit();
    ASSERT_NE(module.factory(), nullptr);
    EXPECT_NE(Instance(module, host).plugin(), nullptr);
    entry->deinit();
    EXPECT_EQ(entry->get_factory(CLAP_PLUGIN_FACTORY_ID), nullptr);
    entry->deinit(); // one too many is ignored
    ASSERT_TRUE(entry->init(module.path().c_str()));
    EXPECT_NE(Instance(module, host).plugin(), nullptr);
}

// The preset-load table answers both ids. The tail is the time stage's look-back plus 50 ms, at the
// rate of the latest activation; the host is told of a change from the block that made it.
TEST_F(ClapPluginTest, ExtensionsAndTail) {
    EXPECT_EQ(inst.extension("clap.preset-load/2"), inst.extension("clap.preset-load.draft/2"));
    EXPECT_EQ(inst.extension("clap.latency"), nullptr);
    const auto* tail = static_cast<const clap_plugin_tail_t*>(inst.extension("clap.tail"));
    const auto tailAfter = [&](clap_id id, double value) {
        AudioBlock block(64);
        block.events.paramValue(0, id, value);
        block.run(inst.plugin());
        return double(tail->get(inst.plugin()));
    };
    ASSERT_TRUE(inst.activate(48000.0));
    EXPECT_EQ(tailAfter(norvale::kParamMix, 1.0), 0.0); // the time stage is off
    EXPECT_EQ(host.tailChanges, 0);
    EXPECT_NEAR(tailAfter(norvale::kParamTimOn, 1.0), 0.55 * 48000.0, 1.0);
    EXPECT_EQ(host.tailChanges, 1);
    EXPECT_NEAR(tailAfter(norvale::kParamTimOn, 1.0), 0.55 * 48000.0, 1.0);
    EXPECT_EQ(host.tailChanges, 1); // told once
    EXPECT_NEAR(tailAfter(norvale::kParamTimRange, 1.0), 2.05 * 48000.0, 1.0);
    ASSERT_TRUE(inst.activate(192000.0));
    EXPECT_NEAR(tailAfter(norvale::kParamTimRange, 1.0), 2.05 * 192000.0, 4.0);
}

// ---- parameters ----

// Hosts group parameters by module and modulate any of them. (That no two
// names look alike in a flat list is checked where the table is compiled.)
// The bypass, one switch that hosts show as theirs, is the one exception.
TEST_F(ClapPluginTest, EveryParameterNamesItsModuleAndIsModulatable) {
    std::vector<clap_id> bypass;
    for (uint32_t i = 0; i < kParamCount; ++i) {
        const clap_param_info_t info = inst.info(i);
        if (info.flags & CLAP_PARAM_IS_BYPASS) bypass.push_back(info.id);
        const bool modulatable = (info.flags & CLAP_PARAM_IS_MODULATABLE) != 0;
        EXPECT_TRUE(std::string(info.module) != "" && modulatable == bypass.empty()) << i;
    }
    EXPECT_EQ(bypass, std::vector<clap_id>{norvale::kParamBypass});
}

TEST_F(ClapPluginTest, ValueToTextAndBack) {
    for (const auto& row : presets_test::caseFile("param_shown.txt")) {
        const auto id = clap_id(std::stoi(row.at(0)));
        const double v =
            row.at(1).starts_with("typed ") ? valueOf(id, row[1].c_str() + 6) : std::stod(row[1]);
        EXPECT_EQ(inst.text(id, v), row.at(2)) << row[0] << " " << row[1];
    }
    for (const auto& row : presets_test::caseFile("param_typed.txt")) {
        const auto id = clap_id(std::stoi(row.at(0)));
        const double want =
            row.at(2).starts_with("same as ") ? valueOf(id, row[2].c_str() + 8) : std::stod(row[2]);
        EXPECT_NEAR(valueOf(id, row[1].c_str()), want, 1e-9) << row[1];
    }
    for (const char* text : {"abc", "", "k", "-", ".", "nan", "+-1", "\xc3\xa9"}) {
        double v = 4242.0;
        EXPECT_FALSE(toValue(norvale::kParamInput, text, v)) << text;
        EXPECT_EQ(v, 4242.0);
    }
    char small[7];
    EXPECT_FALSE(inst.params()->value_to_text(inst.plugin(), norvale::kParamMix, 1.0, small, 7));
}

// A host running with a decimal-comma locale still reads "0.50 dB", and a
// typed "1.5k" is 1500 Hz there too.
TEST_F(ClapPluginTest, TextIgnoresTheProcessLocale) {
    const auto dir = std::filesystem::temp_directory_path() / "norvale-locale";
    const std::string build =
        "localedef -i de_DE -f UTF-8 '" + (dir / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
    std::filesystem::create_directories(dir);
    if (!std::filesystem::exists(dir / "de_DE.UTF-8") && std::system(build.c_str()) != 0)
        GTEST_SKIP() << "cannot build a de_DE locale";
    setenv("LOCPATH", dir.c_str(), 1);
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    const std::string input = inst.text(norvale::kParamInput, 0.5);
    const double dot = valueOf(norvale::kParamFltCutoff, "1.5k"),
                 comma = valueOf(norvale::kParamFltCutoff, "1,5k");
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(input, "0.50 dB");
    EXPECT_EQ(inst.text(norvale::kParamFltCutoff, dot), "1.50 kHz");
    EXPECT_EQ(dot, comma);
}

// ---- processing ----

TEST_F(ClapProcessTest, BadRecordsAreRefusedButTheirEventsApply) {
    const Prepare cases[] = {
        [](AudioBlock& b) {
            b.events.paramValue(0, norvale::kParamMix, 0.25), b.outputChannels = 0;
        },
        [](AudioBlock& b) {
            b.events.paramValue(0, norvale::kParamMix, -7.0), b.outputChannels = 1;
        },
    };
    for (const Prepare& prepare : cases)
        run(inst, prepare, CLAP_PROCESS_ERROR);
    EXPECT_EQ(inst.value(norvale::kParamMix), 0.0); // clamped, not left at the default
    EXPECT_EQ(inst.plugin()->process(inst.plugin(), nullptr), CLAP_PROCESS_ERROR);
}

// A value that is not a number, from the host's events in a block or in a
// flush or from a state, lands inside the parameter's range.
TEST_F(ClapProcessTest, NanValuesLandInsideTheRange) {
    const double nan = std::nan("");
    run(inst, [&](AudioBlock& b) { b.events.paramValue(0, norvale::kParamMix, nan); });
    inst.flushValue(norvale::kParamOutput, nan);
    norvale::StateRecord state;
    ASSERT_TRUE(norvale::decodeState(*inst.save(), state));
    state.values[norvale::kParamInput] = nan;
    ASSERT_TRUE(inst.load(norvale::encodeState(state)));
    for (const clap_id id : {norvale::kParamMix, norvale::kParamOutput, norvale::kParamInput}) {
        const double value = inst.value(id);
        EXPECT_TRUE(value >= inst.info(id).min_value && value <= inst.info(id).max_value) << id;
    }
}

// With every stage off the output is the input times the gains; whatever the
// main input offers, every output sample is written.
TEST_F(ClapProcessTest, OutputIsAlwaysWrittenFromTheInput) {
    const float gain = float(std::pow(10.0, (6.0 - 12.0) / 20.0));
    inst.flushValue(norvale::kParamInput, 6.0);
    inst.flushValue(norvale::kParamOutput, -12.0);
    const struct {
        const char* name;
        Prepare prepare;
        int left, right; // input channel heard on each side, -1 for silence
    } cases[] = {
        {"stereo", {}, 0, 1},
        {"in place", [](AudioBlock& b) { b.inPlace = true; }, 0, 1},
        {"mono", [](AudioBlock& b) { b.inputChannels = 1; }, 0, 0},
        {"no channels", [](AudioBlock& b) { b.inputChannels = 0; }, -1, -1},
        {"no input port", [](AudioBlock& b) { b.mainInput = false; }, -1, -1},
    };
    for (const auto& c : cases) {
        auto block = run(inst, c.prepare);
        for (uint32_t i = 0; i < kFrames; i += 7) {
            ASSERT_NEAR(block->outL[i], c.left < 0 ? 0 : music(i, c.left) * gain, 1e-5) << c.name;
            ASSERT_NEAR(block->outR[i], c.right < 0 ? 0 : music(i, c.right) * gain, 1e-5) << c.name;
        }
    }
}

// The host's modulation moves what the engine hears, not the value the host
// and the state see; it stays until changed and goes with reset.
TEST_F(ClapProcessTest, ModulationAddsToTheValueForTheEngineOnly) {
    const double plain = rms(run(inst)->outL, kFrames / 2, kFrames);
    const auto gainOf = [&](double amount = 0, int32_t noteId = -1) {
        const auto block = run(inst, [&](AudioBlock& b) {
            if (amount != 0) b.events.paramMod(0, norvale::kParamOutput, amount, noteId);
        });
        // The second half: the gain glides to a new value over a few milliseconds.
        const double level = rms(block->outL, kFrames / 2, kFrames);
        return std::round(20.0 * std::log10(level / plain) * 1000) / 1000;
    };
    EXPECT_EQ(gainOf(-6.0), -6.0);
    EXPECT_EQ(gainOf(), -6.0); // kept
    EXPECT_EQ(inst.value(norvale::kParamOutput), 0.0);
    norvale::StateRecord saved;
    EXPECT_TRUE(norvale::decodeState(*inst.save(), saved));
    EXPECT_EQ(saved.values[norvale::kParamOutput], 0.0);
    inst.flushValue(norvale::kParamOutput, 12.0); // the value moves under it
    EXPECT_EQ(gainOf(), 6.0);
    EXPECT_EQ(gainOf(100.0), 24.0);        // clamped to the range
    EXPECT_EQ(gainOf(std::nan("")), 24.0); // not a number: ignored
    EXPECT_EQ(gainOf(-24.0, 3), 24.0);     // per voice: ignored
    inst.plugin()->reset(inst.plugin());
    EXPECT_EQ(gainOf(), 12.0);
}

void seventyNotes(AudioBlock& b) {
    for (uint32_t i = 0; i < 70; ++i)
        b.events.noteOn(100 + i, 48);
}

// Notes pass the trigger-note filter (here C3, note 48) through both dialects.
TEST_F(ClapProcessTest, NotesTriggerAtTheirOffset) {
    const auto reference = oneShot(1, {});
    const struct {
        const char* name;
        Prepare prepare;
        long triggersAt; // -1: no trigger
    } cases[] = {
        {"C3", [](AudioBlock& b) { b.events.noteOn(17, 48); }, 17},
        {"MIDI channel 2", [](AudioBlock& b) { b.events.midi(200, 0x91, 48, 90); }, 200},
        {"C2", [](AudioBlock& b) { b.events.noteOn(200, 36); }, -1},
        {"C#3", [](AudioBlock& b) { b.events.noteOn(200, 49); }, -1},
        {"MIDI velocity 0", [](AudioBlock& b) { b.events.midi(200, 0x90, 48, 0); }, -1},
        {"filter changed first",
         [](AudioBlock& b) {
             b.events.paramValue(0, norvale::kParamTrigNote, 2), b.events.noteOn(200, 48);
         },
         -1},
        {"seventy notes", seventyNotes, 100},
    };
    for (const auto& c : cases) {
        const auto block = oneShot(1, c.prepare);
        if (c.triggersAt >= 0)
            EXPECT_TRUE(triggeredAt(*block, *reference, c.triggersAt)) << c.name;
        else
            EXPECT_EQ(firstDifference(*block, *reference), -1) << c.name;
    }
}

TEST_F(ClapProcessTest, SidechainChannelsThatTrigger) {
    std::vector<float> hit(kFrames, 0.0f), silence(kFrames, 0.0f);
    std::fill(hit.begin() + 300, hit.end(), 0.5f); // -6 dB from frame 300 on
    const auto reference = oneShot(2, [&](AudioBlock& b) { b.sidechain = {silence, silence}; });
    const struct {
        const char* name;
        std::vector<std::vector<float>> channels;
        bool triggers;
    } cases[] = {
        {"mono", {hit}, true},
        {"right alone", {silence, hit}, true},
        {"null right: left", {hit, {}}, true},
        {"null left", {{}, hit}, false},
        {"no channels", {}, false},
    };
    for (const auto& c : cases) {
        const auto block = oneShot(2, [&](AudioBlock& b) { b.sidechain = c.channels; });
        EXPECT_EQ(triggeredAt(*block, *reference, 300), c.triggers) << c.name;
    }
}

// Denormals are flushed inside the block: fed subnormal numbers, the block
// gives none back.
// The host's own mode comes back.
TEST_F(ClapProcessTest, DenormalsAreFlushedInsideTheBlockOnly) {
    const unsigned before = _mm_getcsr();
    const auto block = run(inst, [](AudioBlock& b) {
        // Made from bits: arithmetic here would raise the very flags compared below.
        b.fillInput(
            [](uint32_t i, int) { return std::bit_cast<float>((i << 31) | 0x400000u | i); });
    });
    EXPECT_EQ(_mm_getcsr(), before);
    for (const std::vector<float>* channel : {&block->outL, &block->outR})
        for (float x : *channel)
            ASSERT_NE(std::fpclassify(x), FP_SUBNORMAL);
}

} // namespace
} // namespace claphost
