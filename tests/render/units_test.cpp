// The tool's own logic: key suggestions, the key table against the loaded
// plug-in, and the placement of notes and transport on the timeline.
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "render/clap_module.h"
#include "render/host_services.h"
#include "render/param_keys.h"
#include "render/plugin_instance.h"
#include "render/timeline.h"

namespace norvale::render {
namespace {

TEST(ParamKeys, SuggestsTheClosestKeysFirst) {
    EXPECT_EQ(editDistance("", "abc"), 3u);
    EXPECT_EQ(editDistance("kitten", "sitting"), 3u);
    EXPECT_EQ(nearestKeys("vol_rat").front(), "vol_rate");
    EXPECT_EQ(nearestKeys("FLT_CUTOFF", 3).size(), 3u);
    EXPECT_EQ(nearestKeys("drv_tone", 1), std::vector<std::string_view>{"drv_tone"});
    EXPECT_EQ(paramIdForKey("wid_end"), 82u);
    EXPECT_FALSE(paramIdForKey("Mix").has_value());
}

// The key of each id must name the module the plug-in files that id under.
TEST(ParamKeys, AgreeWithTheModulesThePluginReports) {
    const std::pair<const char*, const char*> prefixes[] = {
        {"vol_", "Volume"}, {"flt_", "Filter"}, {"drv_", "Drive"},   {"tim_", "Time"},
        {"crs_", "Crush"},  {"pan_", "Pan"},    {"wid_", "Width"},   {"trig_", "Trigger"}};
    HostServices host;
    ClapModule module(NORVALE_PLUGIN_PATH);
    PluginInstance plugin(module, host.host());
    ASSERT_EQ(plugin.paramCount(), kParamKeys.size());
    for (uint32_t id = 0; id < kParamKeys.size(); ++id) {
        const auto info = plugin.paramInfoById(id);
        ASSERT_TRUE(info.has_value()) << id;
        std::string expected = "Global";
        for (const auto& [prefix, group] : prefixes)
            if (kParamKeys[id].substr(0, std::strlen(prefix)) == prefix) expected = group;
        EXPECT_EQ(std::string(info->module), expected) << kParamKeys[id];
    }
    EXPECT_EQ(plugin.valueToText(10, *plugin.textToValue(10, "1/8")), "1/8");
}

TEST(Timeline, TransportCarriesTheBeatInFixedPoint) {
    const Timeline timeline{48000.0, 90.0};  // 32000 samples per beat
    const clap_event_transport_t t = transportAt(timeline, 32000 * 5 / 2);
    EXPECT_EQ(t.song_pos_beats, 5 * (CLAP_BEATTIME_FACTOR / 2));
    EXPECT_EQ(t.song_pos_seconds, 5 * CLAP_SECTIME_FACTOR / 3);  // 80000 samples
    EXPECT_EQ(t.tempo, 90.0);
    const uint32_t needed = CLAP_TRANSPORT_HAS_TEMPO | CLAP_TRANSPORT_HAS_BEATS_TIMELINE | CLAP_TRANSPORT_IS_PLAYING;
    EXPECT_EQ(t.flags & needed, needed);
    EXPECT_EQ(transportAt(timeline, 32000 * 4 - 1).bar_number, 0);
    EXPECT_EQ(transportAt(timeline, 32000 * 4).bar_number, 1);
    EXPECT_EQ(transportAt(timeline, 32000 * 9).bar_start, 8 * CLAP_BEATTIME_FACTOR);
}

TEST(Timeline, NotesLandOnTheirSampleAndEndBeforeTheNext) {
    const Timeline timeline{48000.0, 120.0};  // 24000 samples per beat, gate 3000
    const auto notes = scheduleNotes(timeline, {2.0, 0.5, 0.5, 0.6, 9.0}, 96000);
    // 0.5 twice counts once; 0.6 cuts the first note short; beat 9 is past the end.
    const std::vector<std::pair<int64_t, bool>> expected = {
        {12000, true}, {14400, false}, {14400, true}, {17400, false}, {48000, true}, {51000, false}};
    ASSERT_EQ(notes.size(), expected.size());
    for (std::size_t i = 0; i < notes.size(); ++i) {
        EXPECT_EQ(notes[i].sample, expected[i].first) << i;
        EXPECT_EQ(notes[i].on, expected[i].second) << i;
    }
    const auto last = scheduleNotes(timeline, {3.99}, 96000);  // a note at the very end still ends
    ASSERT_EQ(last.size(), 2u);
    EXPECT_EQ(last[1].sample, 95999);
}

}  // namespace
}  // namespace norvale::render
