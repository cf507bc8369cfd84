#include "kit/effect_controls.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iomanip>

#include "kit/tool_error.h"

namespace {

std::string withoutLeadingBlanks(const std::string& name) {
    const size_t first = name.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : name.substr(first);
}

bool isIndex(const std::string& text) {
    return !text.empty() && text.size() < 10 && text.find_first_not_of("0123456789") == std::string::npos;
}

/// Shared by programs and parameters: an index in range, or the first name that matches. A
/// failure's message starts with `context`.
template <typename NameOf>
int32_t findByIndexOrName(const std::string& what, const std::string& context, const std::string& target, int32_t count,
                          NameOf nameOf) {
    if (isIndex(target)) {
        const long index = std::stol(target);
        if (index < count) {
            return static_cast<int32_t>(index);
        }
        throw UsageError(context + ": the effect has " +
                         (count <= 0 ? "no " + what + "s" : what + "s 0 to " + std::to_string(count - 1)));
    }
    std::string known;
    for (int32_t index = 0; index < count; ++index) {
        const std::string name = nameOf(index);
        if (namesMatch(target, name)) {
            return index;
        }
        known += (index == 0 ? "" : ", ") + escaped(withoutLeadingBlanks(name));
    }
    throw UsageError(context + ": no " + what + " of that name (the effect has: " + (known.empty() ? "none" : known) +
                     ")");
}

std::string fourCharacters(int32_t code) {
    const auto bits = static_cast<uint32_t>(code);
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        text += static_cast<char>((bits >> shift) & 0xFF);
    }
    for (char c : text) {
        if (!std::isprint(static_cast<unsigned char>(c))) {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(bits));
            return hex;
        }
    }
    return text;
}

std::string categoryName(intptr_t category) {
    static const char* const names[] = {"unknown", "effect",   "synth",       "analysis", "mastering", "spatialiser",
                                        "room",    "surround", "restoration", "offline",  "shell",     "generator"};
    const bool known = category >= 0 && category < static_cast<intptr_t>(std::size(names));
    return std::string(known ? names[category] : "other") + " (" + std::to_string(category) + ")";
}

std::string flagNames(int32_t flags) {
    static const std::pair<int32_t, const char*> names[] = {
        {effFlagsHasEditor, "HasEditor"},
        {effFlagsHasClip, "HasClip"},
        {effFlagsHasVu, "HasVu"},
        {effFlagsCanMono, "CanMono"},
        {effFlagsCanReplacing, "CanReplacing"},
        {effFlagsProgramChunks, "ProgramChunks"},
        {effFlagsIsSynth, "IsSynth"},
        {effFlagsNoSoundInStop, "NoSoundInStop"},
        {effFlagsExtIsAsync, "ExtIsAsync"},
        {effFlagsExtHasBuffer, "ExtHasBuffer"},
    };
    std::string text;
    for (const auto& [bit, name] : names) {
        if ((flags & bit) != 0) {
            text += std::string(name) + " ";
        }
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "(0x%X)", static_cast<unsigned>(flags));
    return text + hex;
}

void printIdentity(EffectInstance& effect, std::ostream& out) {
    out << "Name:       " << effect.text(effGetEffectName) << '\n'
        << "Vendor:     " << effect.text(effGetVendorString) << '\n'
        << "Product:    " << effect.text(effGetProductString) << '\n'
        << "Version:    " << effect.dispatch(effGetVendorVersion) << '\n'
        << "Category:   " << categoryName(effect.dispatch(effGetPlugCategory)) << '\n'
        << "Unique id:  " << fourCharacters(effect.uniqueId()) << '\n'
        << "Inputs:     " << effect.inputCount() << '\n'
        << "Outputs:    " << effect.outputCount() << '\n'
        << "Latency:    " << effect.latencyFrames() << " samples\n"
        << "Flags:      " << flagNames(effect.flags()) << '\n';
}

void printPrograms(EffectInstance& effect, std::ostream& out) {
    out << "Programs:   " << effect.programCount() << '\n';
    const int32_t current = effect.currentProgram();
    for (int32_t index = 0; index < effect.programCount(); ++index) {
        out << (index == current ? "  * " : "    ") << std::setw(3) << index << "  " << effect.programName(index)
            << '\n';
    }
}

void printParameters(EffectInstance& effect, std::ostream& out) {
    out << "Parameters: " << effect.parameterCount() << '\n';
    for (int32_t index = 0; index < effect.parameterCount(); ++index) {
        out << "    " << std::setw(3) << index << "  " << std::left << std::setw(24)
            << withoutLeadingBlanks(effect.text(effGetParamName, index)) << std::right << "  " << std::fixed
            << std::setprecision(4) << effect.parameter(index) << "  "
            << withoutLeadingBlanks(effect.text(effGetParamDisplay, index)) << ' '
            << effect.text(effGetParamLabel, index) << '\n';
    }
}

}  // namespace

bool namesMatch(const std::string& typed, const std::string& effectName) {
    const std::string a = withoutLeadingBlanks(typed);
    const std::string b = withoutLeadingBlanks(effectName);
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

int32_t findProgram(EffectInstance& effect, const std::string& target) {
    return findByIndexOrName("program", "--program " + escaped(target), target, effect.programCount(),
                             [&](int32_t index) { return effect.programName(index); });
}

int32_t findParameter(EffectInstance& effect, const std::string& target) {
    return findByIndexOrName("parameter", "--param " + escaped(target), target, effect.parameterCount(),
                             [&](int32_t index) { return effect.text(effGetParamName, index); });
}

std::vector<std::string> parameterNames(EffectInstance& effect, int32_t maxCount) {
    std::vector<std::string> names;
    for (int32_t index = 0; index < std::min(effect.parameterCount(), maxCount); ++index) {
        names.push_back(effect.text(effGetParamName, index));
    }
    return names;
}

int32_t findParameter(const std::vector<std::string>& names, const std::string& target, const std::string& context) {
    return findByIndexOrName("parameter", context, target, static_cast<int32_t>(names.size()),
                             [&](int32_t index) { return names[static_cast<size_t>(index)]; });
}

ControlSettings resolveControls(EffectInstance& effect, const ControlOptions& options) {
    ControlSettings settings;
    if (options.program) {
        settings.program = findProgram(effect, *options.program);
    }
    for (const ParameterSetting& setting : options.parameters) {
        settings.parameterValues.emplace_back(findParameter(effect, setting.target), setting.normalizedValue);
    }
    return settings;
}

void applyControls(EffectInstance& effect, const ControlSettings& settings) {
    if (settings.program) {
        effect.selectProgram(*settings.program);
    }
    for (const auto& [index, value] : settings.parameterValues) {
        effect.setParameter(index, value);
    }
}

void printListing(EffectInstance& effect, std::ostream& out) {
    printIdentity(effect, out);
    printPrograms(effect, out);
    printParameters(effect, out);
}
