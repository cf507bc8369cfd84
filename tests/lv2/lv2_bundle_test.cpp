// The built bundle as LV2 hosts read it, through lilv: the Turtle files state the ports that the
// plug-in's code connects and the ranges that the core's controls keep to, a release version tied
// to the project's, and presets that set real controls within their ranges.
#include <gtest/gtest.h>
#include <lilv/lilv.h>

#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "core/voice_controls.h"
#include "lv2/lv2_ports.h"

namespace {

using namespace tinvoicer;

/// A lilv world holding the built bundle alone.
class BundleWorld {
public:
    BundleWorld() : world(lilv_world_new()) {
        LilvNode* bundle = lilv_new_file_uri(world, nullptr, TINVOICER_LV2_BUNDLE_PATH);
        lilv_world_load_bundle(world, bundle);
        lilv_node_free(bundle);
        LilvNode* uri = node(tinvoicer_lv2::kPluginUri);
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
        lilv_node_free(uri);
    }
    ~BundleWorld() { lilv_world_free(world); }
    BundleWorld(const BundleWorld&) = delete;
    BundleWorld& operator=(const BundleWorld&) = delete;

    LilvNode* node(const char* uri) const { return lilv_new_uri(world, uri); }
    /// The number the plug-in's data state for `predicate`, or -1000 when they state none.
    float number(const char* predicate) const {
        LilvNode* p = node(predicate);
        LilvNodes* values = lilv_plugin_get_value(plugin, p);
        const float result = values != nullptr ? lilv_node_as_float(lilv_nodes_get_first(values)) : -1000.0f;
        lilv_nodes_free(values);
        lilv_node_free(p);
        return result;
    }

    LilvWorld* world;
    const LilvPlugin* plugin = nullptr;
};

constexpr const char* kLv2 = "http://lv2plug.in/ns/lv2core#";

std::string lv2(const char* name) { return std::string(kLv2) + name; }

TEST(Lv2Bundle, PortsAreTheOnesThePluginConnectsWithTheCoresRanges) {
    const BundleWorld w;
    ASSERT_NE(w.plugin, nullptr);
    const struct {
        uint32_t index;
        const char* symbol;
        const char* direction;
        const char* type;
        float minimum, maximum, defaultValue;  // controls that take a value only
    } rows[] = {
        {tinvoicer_lv2::kInputPort, "in", "InputPort", "AudioPort", 0, 0, 0},
        {tinvoicer_lv2::kOutputPort, "out", "OutputPort", "AudioPort", 0, 0, 0},
        {tinvoicer_lv2::kGainPort, "gain", "InputPort", "ControlPort", Gain::kMinimumDb, Gain::kMaximumDb,
         Gain::kDefaultDb},
        {tinvoicer_lv2::kLatencyPort, "latency", "OutputPort", "ControlPort", 0, 0, 0},
        {tinvoicer_lv2::kPitchPort, "pitch", "InputPort", "ControlPort", Pitch::kMinimumSemitones,
         Pitch::kMaximumSemitones, Pitch::kDefaultSemitones},
        {tinvoicer_lv2::kMixPort, "mix", "InputPort", "ControlPort", Mix::kMinimumPercent, Mix::kMaximumPercent,
         Mix::kDefaultPercent},
    };
    EXPECT_EQ(lilv_plugin_get_num_ports(w.plugin), std::size(rows));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.symbol);
        const LilvPort* port = lilv_plugin_get_port_by_index(w.plugin, row.index);
        ASSERT_NE(port, nullptr);
        EXPECT_STREQ(lilv_node_as_string(lilv_port_get_symbol(w.plugin, port)), row.symbol);
        for (const char* kind : {row.direction, row.type}) {
            LilvNode* kindNode = w.node(lv2(kind).c_str());
            EXPECT_TRUE(lilv_port_is_a(w.plugin, port, kindNode)) << kind;
            lilv_node_free(kindNode);
        }
        if (row.minimum == row.maximum) continue;
        LilvNode *defaultValue = nullptr, *minimum = nullptr, *maximum = nullptr;
        lilv_port_get_range(w.plugin, port, &defaultValue, &minimum, &maximum);
        ASSERT_TRUE(defaultValue && minimum && maximum);
        EXPECT_EQ(lilv_node_as_float(minimum), row.minimum);
        EXPECT_EQ(lilv_node_as_float(maximum), row.maximum);
        EXPECT_EQ(lilv_node_as_float(defaultValue), row.defaultValue);
        lilv_node_free(defaultValue);
        lilv_node_free(minimum);
        lilv_node_free(maximum);
    }
}

// LV2 counts a minor version of 0 as experimental and an odd one as a development release.
TEST(Lv2Bundle, VersionIsAReleaseThatGrowsWithTheProjectsVersion) {
    const BundleWorld w;
    ASSERT_NE(w.plugin, nullptr);
    const float minor = w.number(lv2("minorVersion").c_str());
    EXPECT_EQ(minor, 2 * (100 * TINVOICER_VERSION_MAJOR + TINVOICER_VERSION_MINOR));
    EXPECT_EQ(w.number(lv2("microVersion").c_str()), TINVOICER_VERSION_PATCH);
    EXPECT_GT(minor, 0.0f);
}

/// label -> symbol -> value of every preset in the bundle.
using Presets = std::map<std::string, std::map<std::string, float>>;

Presets presetsOf(const BundleWorld& w);

TEST(Lv2Bundle, PresetsSetInputControlsWithinTheirRanges) {
    const BundleWorld w;
    ASSERT_NE(w.plugin, nullptr);
    LilvNode* inputClass = w.node(lv2("InputPort").c_str());
    LilvNode* controlClass = w.node(lv2("ControlPort").c_str());
    std::set<std::string> labels;
    for (const auto& [label, values] : presetsOf(w)) {
        SCOPED_TRACE(label);
        labels.insert(label);
        EXPECT_EQ(values.size(), 3u);
        for (const auto& [symbolText, value] : values) {
            LilvNode* symbol = lilv_new_string(w.world, symbolText.c_str());
            const LilvPort* port = lilv_plugin_get_port_by_symbol(w.plugin, symbol);
            lilv_node_free(symbol);
            ASSERT_NE(port, nullptr) << symbolText;
            EXPECT_TRUE(lilv_port_is_a(w.plugin, port, inputClass) && lilv_port_is_a(w.plugin, port, controlClass));
            LilvNode *defaultValue = nullptr, *minimum = nullptr, *maximum = nullptr;
            lilv_port_get_range(w.plugin, port, &defaultValue, &minimum, &maximum);
            EXPECT_GE(value, lilv_node_as_float(minimum)) << symbolText;
            EXPECT_LE(value, lilv_node_as_float(maximum)) << symbolText;
            for (LilvNode* n : {defaultValue, minimum, maximum}) lilv_node_free(n);
        }
    }
    EXPECT_EQ(labels, (std::set<std::string>{"Classic robot", "Deep robot", "Small robot", "Half robot"}));
    lilv_node_free(inputClass);
    lilv_node_free(controlClass);
}

Presets presetsOf(const BundleWorld& w) {
    Presets presets;
    LilvNode* presetClass = w.node("http://lv2plug.in/ns/ext/presets#Preset");
    LilvNode* label = w.node("http://www.w3.org/2000/01/rdf-schema#label");
    LilvNode* portPredicate = w.node(lv2("port").c_str());
    LilvNode* symbolPredicate = w.node(lv2("symbol").c_str());
    LilvNode* valuePredicate = w.node("http://lv2plug.in/ns/ext/presets#value");
    LilvNodes* related = lilv_plugin_get_related(w.plugin, presetClass);
    LILV_FOREACH(nodes, i, related) {
        const LilvNode* preset = lilv_nodes_get(related, i);
        lilv_world_load_resource(w.world, preset);
        LilvNode* name = lilv_world_get(w.world, preset, label, nullptr);
        auto& values = presets[name != nullptr ? lilv_node_as_string(name) : ""];
        LilvNodes* ports = lilv_world_find_nodes(w.world, preset, portPredicate, nullptr);
        LILV_FOREACH(nodes, j, ports) {
            LilvNode* symbol = lilv_world_get(w.world, lilv_nodes_get(ports, j), symbolPredicate, nullptr);
            LilvNode* value = lilv_world_get(w.world, lilv_nodes_get(ports, j), valuePredicate, nullptr);
            if (symbol != nullptr && value != nullptr) values[lilv_node_as_string(symbol)] = lilv_node_as_float(value);
            lilv_node_free(symbol);
            lilv_node_free(value);
        }
        lilv_nodes_free(ports);
        lilv_node_free(name);
    }
    lilv_nodes_free(related);
    for (LilvNode* n : {presetClass, label, portPredicate, symbolPredicate, valuePredicate}) lilv_node_free(n);
    return presets;
}

// The browser edition states its controls and presets in JavaScript, for its AudioParams, which
// exist before its WebAssembly does: they must be the bundle's.
TEST(Lv2Bundle, TheBrowsersControlsAndPresetsAreTheBundles) {
    const BundleWorld w;
    ASSERT_NE(w.plugin, nullptr);
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
        LilvNode* symbol = lilv_new_string(w.world, (*m)[1].str().c_str());
        const LilvPort* port = lilv_plugin_get_port_by_symbol(w.plugin, symbol);
        lilv_node_free(symbol);
        ASSERT_NE(port, nullptr) << (*m)[1];
        LilvNode *defaultValue = nullptr, *minimum = nullptr, *maximum = nullptr;
        lilv_port_get_range(w.plugin, port, &defaultValue, &minimum, &maximum);
        EXPECT_EQ(std::stof((*m)[2]), lilv_node_as_float(minimum)) << (*m)[1];
        EXPECT_EQ(std::stof((*m)[3]), lilv_node_as_float(maximum)) << (*m)[1];
        EXPECT_EQ(std::stof((*m)[4]), lilv_node_as_float(defaultValue)) << (*m)[1];
        for (LilvNode* n : {defaultValue, minimum, maximum}) lilv_node_free(n);
    }
    EXPECT_EQ(controls, 3);
    const std::regex preset("name: '([^']+)', gain: " + number + ", pitch: " + number + ", mix: " + number);
    Presets browser;
    for (std::sregex_iterator m(source.begin(), source.end(), preset), end; m != end; ++m) {
        browser[(*m)[1]] = {{"gain", std::stof((*m)[2])}, {"pitch", std::stof((*m)[3])}, {"mix", std::stof((*m)[4])}};
    }
    EXPECT_EQ(browser, presetsOf(w));
}

}  // namespace
