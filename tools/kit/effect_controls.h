// Programs and parameters named the way a user types them, and the generic editor's view of an effect.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "kit/control_options.h"
#include "kit/effect_instance.h"

/// True when two names are equal once their leading blanks are gone, ignoring letter case.
bool namesMatch(const std::string& typed, const std::string& effectName);

/// The program or parameter index that `target` (an index, or a name) denotes. Throws UsageError
/// naming the option and listing the valid choices when there is none: the command line asks for
/// what the effect does not have.
int32_t findProgram(EffectInstance& effect, const std::string& target);
int32_t findParameter(EffectInstance& effect, const std::string& target);

/// The names of the effect's first `maxCount` parameters (at most) as effGetParamName gives them.
std::vector<std::string> parameterNames(EffectInstance& effect, int32_t maxCount);
/// The parameter that `target` denotes among `names`, without calling the effect: for a thread
/// that must not call it while it processes. The message of the UsageError starts with `context`.
int32_t findParameter(const std::vector<std::string>& names, const std::string& target, const std::string& context);

/// What the command line asks of every instance, with names resolved to indexes.
struct ControlSettings {
    std::optional<int32_t> program;
    std::vector<std::pair<int32_t, float>> parameterValues;  ///< index, normalised value
};

/// Resolves the options' program and parameters against `effect` (throws as the finders do).
ControlSettings resolveControls(EffectInstance& effect, const ControlOptions& options);

/// Selects the program first, then sets the parameters in command-line order.
void applyControls(EffectInstance& effect, const ControlSettings& settings);

/// What a host's generic editor shows: identity, channels, latency, flags, programs, and each
/// parameter's name, normalised value, display text and label.
void printListing(EffectInstance& effect, std::ostream& out);
