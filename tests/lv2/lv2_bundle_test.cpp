// The built bundle as LV2 hosts read it, through lilv: its ports are the ones the plug-in's code
// connects, with the core's ranges; its version is a release tied to the project's; and the
// browser edition, which states the controls and presets in JavaScript, states the bundle's.
#include <gtest/gtest.h>
#include <lilv/lilv.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "core/voice_controls.h"
#include "lv2/lv2_ports.h"

namespace {

using namespace tinvoicer;
using Range = std::vector<float>;                                     // minimum, maximum, default
using Presets = std::map<std::string, std::map<std::string, float>>;  // label -> symbol -> value

const std::string kLv2 = "http://lv2plug.in/ns/lv2core#";
const std::string kPresets = "http://lv2plug.in/ns/ext/presets#";

/// A lilv world holding the built bundle alone. Nodes it makes live as long as the world.
struct Bundle {
    Bundle() {
        lilv_world_load_bundle(world, keep(lilv_new_file_uri(world, nullptr, TINVOICER_LV2_BUNDLE_PATH)));
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri(tinvoicer_lv2::kPluginUri));
    }
    ~Bundle() {
        for (LilvNode* n : nodes) lilv_node_free(n);
        lilv_world_free(world);
    }
    LilvNode* keep(LilvNode* node) { return nodes.push_back(node), node; }
    LilvNode* uri(const std::string& text) { return keep(lilv_new_uri(world, text.c_str())); }
    float number(const LilvNode* node) const { return node != nullptr ? lilv_node_as_float(node) : -1000.0f; }
    const LilvPort* port(const std::string& symbol) {
        return lilv_plugin_get_port_by_symbol(plugin, keep(lilv_new_string(world, symbol.c_str())));
    }
    Range range(const LilvPort* p) {
        LilvNode *defaultValue = nullptr, *minimum = nullptr, *maximum = nullptr;
        lilv_port_get_range(plugin, p, &defaultValue, &minimum, &maximum);
        return {number(keep(minimum)), number(keep(maximum)), number(keep(defaultValue))};
    }
    float pluginNumber(const std::string& predicate) {
        LilvNodes* values = lilv_plugin_get_value(plugin, uri(kLv2 + predicate));
        const float result = values != nullptr ? number(lilv_nodes_get_first(values)) : -1000.0f;
        lilv_nodes_free(values);
        return result;
    }
    Presets presets() {
        Presets result;
        LilvNodes* related = lilv_plugin_get_related(plugin, uri(kPresets + "Preset"));
        LILV_FOREACH(nodes, i, related) {
            const LilvNode* preset = lilv_nodes_get(related, i);
            lilv_world_load_resource(world, preset);
            const LilvNode* label =
                keep(lilv_world_get(world, preset, uri("http://www.w3.org/2000/01/rdf-schema#label"), nullptr));
            LilvNodes* ports = lilv_world_find_nodes(world, preset, uri(kLv2 + "port"), nullptr);
            LILV_FOREACH(nodes, j, ports) {
                const LilvNode* entry = lilv_nodes_get(ports, j);
                const LilvNode* symbol = keep(lilv_world_get(world, entry, uri(kLv2 + "symbol"), nullptr));
                result[label ? lilv_node_as_string(label) : ""][symbol ? lilv_node_as_string(symbol) : ""] =
                    number(keep(lilv_world_get(world, entry, uri(kPresets + "value"), nullptr)));
            }
            lilv_nodes_free(ports);
        }
        lilv_nodes_free(related);
        return result;
    }

    LilvWorld* world = lilv_world_new();
    std::vector<LilvNode*> nodes;
    const LilvPlugin* plugin = nullptr;
};

TEST(Lv2Bundle, PortsAreTheOnesThePluginConnectsWithTheCoresRanges) {
    Bundle b;
    ASSERT_NE(b.plugin, nullptr);
    const struct {
        uint32_t index;
        const char *symbol, *direction, *type;
        Range range;  // empty: the port takes no value
    } rows[] = {
        {tinvoicer_lv2::kInputPort, "in", "InputPort", "AudioPort", {}},
        {tinvoicer_lv2::kOutputPort, "out", "OutputPort", "AudioPort", {}},
        {tinvoicer_lv2::kGainPort,
         "gain",
         "InputPort",
         "ControlPort",
         {Gain::kMinimumDb, Gain::kMaximumDb, Gain::kDefaultDb}},
        {tinvoicer_lv2::kLatencyPort, "latency", "OutputPort", "ControlPort", {}},
        {tinvoicer_lv2::kPitchPort,
         "pitch",
         "InputPort",
         "ControlPort",
         {Pitch::kMinimumSemitones, Pitch::kMaximumSemitones, Pitch::kDefaultSemitones}},
        {tinvoicer_lv2::kMixPort,
         "mix",
         "InputPort",
         "ControlPort",
         {Mix::kMinimumPercent, Mix::kMaximumPercent, Mix::kDefaultPercent}},
    };
    ASSERT_EQ(lilv_plugin_get_num_ports(b.plugin), std::size(rows));
    for (const auto& row : rows) {
        const LilvPort* port = b.port(row.symbol);
        ASSERT_NE(port, nullptr) << row.symbol;
        EXPECT_EQ(lilv_port_get_index(b.plugin, port), row.index) << row.symbol;
        for (const char* kind : {row.direction, row.type}) {
            EXPECT_TRUE(lilv_port_is_a(b.plugin, port, b.uri(kLv2 + kind))) << row.symbol << " " << kind;
        }
        if (row.range.empty()) continue;
        EXPECT_EQ(b.range(port), row.range) << row.symbol;
    }
}

// LV2 counts a minor version of 0 as experimental and an odd one as a development release.
TEST(Lv2Bundle, VersionIsAReleaseThatGrowsWithTheProjectsVersion) {
    Bundle b;
    ASSERT_NE(b.plugin, nullptr);
    EXPECT_EQ(b.pluginNumber("minorVersion"), 2 * (100 * TINVOICER_VERSION_MAJOR + TINVOICER_VERSION_MINOR));
    EXPECT_EQ(b.pluginNumber("microVersion"), TINVOICER_VERSION_PATCH);
}

// The browser's AudioParams exist before its WebAssembly does, so its JavaScript states the
// controls and the presets again: they must be the bundle's, the four presets' values included.
TEST(Lv2Bundle, TheBrowsersControlsAndPresetsAreTheBundles) {
    Bundle b;
    ASSERT_NE(b.plugin, nullptr);
    std::ifstream file(TINVOICER_WEB_PARAMETERS);
    std::stringstream text;
    text << file.rdbuf();
    const std::string source = text.str();
    const std::string n = "(-?[0-9.]+)";
    const std::regex control("name: '(\\w+)', unit: '[^']*', minValue: " + n + ", maxValue: " + n +
                             ", defaultValue: " + n);
    int controls = 0;
    for (std::sregex_iterator m(source.begin(), source.end(), control), end; m != end; ++m, ++controls) {
        const LilvPort* port = b.port((*m)[1]);
        ASSERT_NE(port, nullptr) << (*m)[1];
        EXPECT_EQ(b.range(port), (Range{std::stof((*m)[2]), std::stof((*m)[3]), std::stof((*m)[4])})) << (*m)[1];
    }
    EXPECT_EQ(controls, 3);
    const std::regex preset("name: '([^']+)', gain: " + n + ", pitch: " + n + ", mix: " + n);
    Presets browser;
    for (std::sregex_iterator m(source.begin(), source.end(), preset), end; m != end; ++m) {
        browser[(*m)[1]] = {{"gain", std::stof((*m)[2])}, {"pitch", std::stof((*m)[3])}, {"mix", std::stof((*m)[4])}};
    }
    EXPECT_EQ(browser.size(), 4u);
    EXPECT_EQ(browser, b.presets());
}

}  // namespace
