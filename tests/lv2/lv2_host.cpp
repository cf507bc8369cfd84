#include "lv2/lv2_host.h"  // tests/lv2/

#include <algorithm>
#include <stdexcept>

#include "lv2/lv2_ports.h"

const LV2_Descriptor* Lv2Module::descriptor(uint32_t index) const {
    const auto entry = reinterpret_cast<LV2_Descriptor_Function>(library.symbol("lv2_descriptor"));
    return entry != nullptr ? entry(index) : nullptr;
}

Lv2Instance::Lv2Instance(const Lv2Module& module, double sampleRateHz) : descriptor(module.descriptor()) {
    const LV2_Feature* const noFeatures[] = {nullptr};
    handle = descriptor->instantiate(descriptor, sampleRateHz, "/nonexistent/tinvoicer.lv2/", noFeatures);
    if (handle == nullptr) {
        throw std::runtime_error("instantiate returned no instance");
    }
    descriptor->connect_port(handle, tinvoicer_lv2::kGainPort, &gainDb);
    descriptor->connect_port(handle, tinvoicer_lv2::kLatencyPort, &latency);
    descriptor->connect_port(handle, tinvoicer_lv2::kPitchPort, &pitch);
    descriptor->connect_port(handle, tinvoicer_lv2::kMixPort, &mix);
    descriptor->activate(handle);
}

Lv2Instance::~Lv2Instance() {
    descriptor->deactivate(handle);
    descriptor->cleanup(handle);
}

void Lv2Instance::run(const float* in, float* out, uint32_t frames) {
    descriptor->connect_port(handle, tinvoicer_lv2::kInputPort, const_cast<float*>(in));
    descriptor->connect_port(handle, tinvoicer_lv2::kOutputPort, out);
    descriptor->run(handle, frames);
}

void Lv2Instance::restart() {
    descriptor->deactivate(handle);
    descriptor->activate(handle);
}

std::vector<float> renderLv2(const Lv2Module& module, const std::vector<float>& input, float gainDb,
                             const std::vector<uint32_t>& blockSizes, bool inPlace, float pitch, float mix) {
    Lv2Instance plugin(module);
    plugin.gainDb = gainDb;
    plugin.pitch = pitch;
    plugin.mix = mix;
    std::vector<float> output = inPlace ? input : std::vector<float>(input.size(), -99.0f);
    for (std::size_t start = 0, turn = 0; start < input.size(); ++turn) {
        const auto frames =
            static_cast<uint32_t>(std::min<std::size_t>(blockSizes[turn % blockSizes.size()], input.size() - start));
        plugin.run(inPlace ? output.data() + start : input.data() + start, output.data() + start, frames);
        start += frames;
    }
    return output;
}
