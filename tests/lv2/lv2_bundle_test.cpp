// The built bundle as LV2 hosts read it, through lilv: the Turtle files state the ports that the
// plug-in's code connects with the ranges that the core's controls keep to, a release version
// tied to the project's, and presets that set real controls within their ranges; the browser
// edition, which states its controls in JavaScript, states the same.
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

struct Range {
    float minimum, maximum, defaultValue;
    bool operator==(const Range& o) const {
        return minimum == o.minimum && maximum == o.maximum && defaultValue == o.defaultValue;
    }
};
/// label -> symbol -> value of every preset.
using Presets = std::map<std::string, std::map<std::string, float>>;

/// A lilv world holding the built bundle alone, and what the tests read of it.
class Bundle {
public:
    Bundle() : world(lilv_world_new()) {
        LilvNode* bundle = lilv_new_file_uri(world, nullptr, TINVOICER_LV2_BUNDLE_PATH);
        lilv_world_load_bundle(world, bundle);
        lilv_node_free(bundle);
        LilvNode* uri = lilv_new_uri(world, tinvoicer_lv2::kPluginUri);
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
        lilv_node_free(uri);
    }
    ~Bundle() { lilv_world_free(world); }
    Bundle(const Bundle&) = delete;
    Bundle& operator=(const Bundle&) = delete;

    std::string symbol(uint32_t index) const {
        return lilv_node_as_string(lilv_port_get_symbol(plugin, lilv_plugin_get_port_by_index(plugin, index)));
    }
    bool is(uint32_t index, const char* lv2Class) const {
        LilvNode* node = lilv_new_uri(world, (kLv2 + lv2Class).c_str());
        const bool result = lilv_port_is_a(plugin, lilv_plugin_get_port_by_index(plugin, index), node);
        lilv_node_free(node);
        return result;
    }
    Range range(uint32_t index) const {
        LilvNode *defaultValue = nullptr, *minimum = nullptr, *maximum = nullptr;
        lilv_port_get_range(plugin, lilv_plugin_get_port_by_index(plugin, index), &defaultValue, &minimum, &maximum);
        const Range result{value(minimum), value(maximum), value(defaultValue)};
        for (LilvNode* n : {defaultValue, minimum, maximum}) lilv_node_free(n);
        return result;
    }
    /// The port index of `symbol`, or -1.
    int64_t index(const std::string& symbol) const {
        LilvNode* node = lilv_new_string(world, symbol.c_str());
        const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, node);
        lilv_node_free(node);
        return port != nullptr ? lilv_port_get_index(plugin, port) : -1;
    }
    /// The number the plug-in's data state for an lv2core predicate, or -1000 when none.
    float number(const char* predicate) const {
        LilvNode* node = lilv_new_uri(world, (kLv2 + predicate).c_str());
        LilvNodes* values = lilv_plugin_get_value(plugin, node);
        const float result = values != nullptr ? lilv_node_as_float(lilv_nodes_get_first(values)) : -1000.0f;
        lilv_nodes_free(values);
        lilv_node_free(node);
        return result;
    }
    Presets presets() const {
        Presets result;
        const auto uri = [&](const std::string& text) { return lilv_new_uri(world, text.c_str()); };
        LilvNode* presetClass = uri(kPresets + "Preset");
        LilvNode* label = uri("http://www.w3.org/2000/01/rdf-schema#label");
        LilvNode* port = uri(kLv2 + "port");
        LilvNode* symbol = uri(kLv2 + "symbol");
        LilvNode* presetValue = uri(kPresets + "value");
        LilvNodes* related = lilv_plugin_get_related(plugin, presetClass);
        LILV_FOREACH(nodes, i, related) {
            const LilvNode* preset = lilv_nodes_get(related, i);
            lilv_world_load_resource(world, preset);
            LilvNode* name = lilv_world_get(world, preset, label, nullptr);
            auto& values = result[name != nullptr ? lilv_node_as_string(name) : "(no label)"];
            LilvNodes* ports = lilv_world_find_nodes(world, preset, port, nullptr);
            LILV_FOREACH(nodes, j, ports) {
                LilvNode* s = lilv_world_get(world, lilv_nodes_get(ports, j), symbol, nullptr);
                LilvNode* v = lilv_world_get(world, lilv_nodes_get(ports, j), presetValue, nullptr);
                values[s != nullptr ? lilv_node_as_string(s) : "(no symbol)"] = value(v);
                lilv_node_free(s);
                lilv_node_free(v);
            }
            lilv_nodes_free(ports);
            lilv_node_free(name);
        }
        lilv_nodes_free(related);
        for (LilvNode* n : {presetClass, label, port, symbol, presetValue}) lilv_node_free(n);
        return result;
    }

    LilvWorld* world;
    const LilvPlugin* plugin = nullptr;

private:
    static float value(const LilvNode* node) { return node != nullptr ? lilv_node_as_float(node) : -1000.0f; }
    inline static const std::string kLv2 = "http://lv2plug.in/ns/lv2core#";
    inline static const std::string kPresets = "http://lv2plug.in/ns/ext/presets#";
};

const Range kGainDb{Gain::kMinimumDb, Gain::kMaximumDb, Gain::kDefaultDb};
const Range kPitchSemitones{Pitch::kMinimumSemitones, Pitch::kMaximumSemitones, Pitch::kDefaultSemitones};
const Range kMixPercent{Mix::kMinimumPercent, Mix::kMaximumPercent, Mix::kDefaultPercent};

TEST(Lv2Bundle, PortsAreTheOnesThePluginConnectsWithTheCoresRanges) {
    const Bundle b;
    ASSERT_NE(b.plugin, nullptr);
    const struct {
        uint32_t index;
        const char *symbol, *direction, *type;
        const Range* range;  // the controls that take a value
    } rows[] = {
        {tinvoicer_lv2::kInputPort, "in", "InputPort", "AudioPort", nullptr},
        {tinvoicer_lv2::kOutputPort, "out", "OutputPort", "AudioPort", nullptr},
        {tinvoicer_lv2::kGainPort, "gain", "InputPort", "ControlPort", &kGainDb},
        {tinvoicer_lv2::kLatencyPort, "latency", "OutputPort", "ControlPort", nullptr},
        {tinvoicer_lv2::kPitchPort, "pitch", "InputPort", "ControlPort", &kPitchSemitones},
        {tinvoicer_lv2::kMixPort, "mix", "InputPort", "ControlPort", &kMixPercent},
    };
    ASSERT_EQ(lilv_plugin_get_num_ports(b.plugin), std::size(rows));
    for (const auto& row : rows) {
        EXPECT_EQ(b.symbol(row.index), row.symbol);
        EXPECT_TRUE(b.is(row.index, row.direction) && b.is(row.index, row.type)) << row.symbol;
        if (row.range != nullptr) {
            EXPECT_TRUE(b.range(row.index) == *row.range) << row.symbol;
        }
    }
}

// LV2 counts a minor version of 0 as experimental and an odd one as a development release.
TEST(Lv2Bundle, VersionIsAReleaseThatGrowsWithTheProjectsVersion) {
    const Bundle b;
    ASSERT_NE(b.plugin, nullptr);
    EXPECT_EQ(b.number("minorVersion"), 2 * (100 * TINVOICER_VERSION_MAJOR + TINVOICER_VERSION_MINOR));
    EXPECT_EQ(b.number("microVersion"), TINVOICER_VERSION_PATCH);
    EXPECT_GT(b.number("minorVersion"), 0.0f);
}

TEST(Lv2Bundle, PresetsSetInputControlsWithinTheirRanges) {
    const Bundle b;
    ASSERT_NE(b.plugin, nullptr);
    const Presets presets = b.presets();
    EXPECT_EQ(presets.size(), 4u);
    for (const char* label : {"Classic robot", "Deep robot", "Small robot", "Half robot"}) {
        EXPECT_EQ(presets.count(label), 1u) << label;
    }
    for (const auto& [label, values] : presets) {
        EXPECT_EQ(values.size(), 3u) << label;
        for (const auto& [symbol, value] : values) {
            const int64_t index = b.index(symbol);
            ASSERT_GE(index, 0) << label << ": " << symbol;
            EXPECT_TRUE(b.is(index, "InputPort") && b.is(index, "ControlPort")) << label << ": " << symbol;
            const Range range = b.range(index);
            EXPECT_TRUE(value >= range.minimum && value <= range.maximum) << label << ": " << symbol;
        }
    }
}

// The browser edition states its controls and presets in JavaScript, for its AudioParams, which
// exist before its WebAssembly does: they must be the bundle's.
TEST(Lv2Bundle, TheBrowsersControlsAndPresetsAreTheBundles) {
    const Bundle b;
    ASSERT_NE(b.plugin, nullptr);
    std::ifstream file(TINVOICER_WEB_PARAMETERS);
    ASSERT_TRUE(file) << TINVOICER_WEB_PARAMETERS;
    std::stringstream text;
    text << file.rdbuf();
    const std::string source = text.str();
    const std::string number = "(-?[0-9.]+)";
    const std::regex control("name: '(\\w+)', unit: '[^']*', minValue: " + number + ", maxValue: " + number +
                             ", defaultValue: " + number);
    int controls = 0;
    for (std::sregex_iterator m(source.begin(), source.end(), control), end; m != end; ++m, ++controls) {
        const int64_t index = b.index((*m)[1]);
        ASSERT_GE(index, 0) << (*m)[1];
        EXPECT_TRUE(b.range(index) == (Range{std::stof((*m)[2]), std::stof((*m)[3]), std::stof((*m)[4])})) << (*m)[1];
    }
    EXPECT_EQ(controls, 3);
    const std::regex preset("name: '([^']+)', gain: " + number + ", pitch: " + number + ", mix: " + number);
    Presets browser;
    for (std::sregex_iterator m(source.begin(), source.end(), preset), end; m != end; ++m) {
        browser[(*m)[1]] = {{"gain", std::stof((*m)[2])}, {"pitch", std::stof((*m)[3])}, {"mix", std::stof((*m)[4])}};
    }
    EXPECT_EQ(browser, b.presets());
}

}  // namespace
