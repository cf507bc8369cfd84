-- Renders the session's track "in" (one region holding the input file) through one plug-in and
-- exports the whole file from the master bus as 32-bit float WAV.
-- Environment: RENDER_SESSION, RENDER_RATE, RENDER_SAMPLES (the file's length), RENDER_PLUGIN
-- (the plug-in's name as Ardour lists it; empty: none), RENDER_PLUGIN_TYPE (the name of its
-- ARDOUR.PluginType: LXVST for a Linux VST 2 module, LV2...), RENDER_PRESET (the export preset's id);
-- optional: RENDER_PLUGIN_PARAMS (INDEX=VALUE,... set on the plug-in's controls),
-- RENDER_PLUGIN_PRESET (the label of a preset of the plug-in's, applied as Ardour makes it). An
-- LV2 plug-in is named by its URI. Prints the plug-in's controls as it renders with them.
-- The track's panner is bypassed, so both channels of the master bus carry the track's output
-- unscaled: panned hard left, the equal-power panner's gain is one step below 1 (1 - 2^-24) and
-- changes the last bit of most samples.
local folder, plugin = os.getenv("RENDER_SESSION"), os.getenv("RENDER_PLUGIN")
local plugin_type = os.getenv("RENDER_PLUGIN_TYPE")
local samples = tonumber(os.getenv("RENDER_SAMPLES"))
assert(AudioEngine:set_backend("None (Dummy)", "", ""), "no dummy audio backend")
AudioEngine:set_sample_rate(tonumber(os.getenv("RENDER_RATE")))
assert(AudioEngine:start(false) == 0, "the audio engine did not start")
assert(load_session(folder, "render"), "could not load " .. folder)

local track = Session:route_by_name("in")
assert(not track:isnil(), "no track 'in'")
local region
for r in track:to_track():playlist():region_list():iter() do region = r:to_audioregion() end
assert(region, "the track holds no region")
assert(region:length():samples() == samples,
  "the region holds " .. region:length():samples() .. " samples, not " .. samples)
-- Nothing but the plug-in may touch the samples: no fades, no gain envelope.
region:set_fade_in_active(false)
region:set_fade_out_active(false)
region:set_envelope_active(false)
track:panner_shell():set_bypassed(true)

if plugin ~= "" then
  local type = ARDOUR.PluginType[plugin_type or ""]
  assert(type, "RENDER_PLUGIN_TYPE '" .. tostring(plugin_type) .. "' names no ARDOUR.PluginType")
  local preset = os.getenv("RENDER_PLUGIN_PRESET") or ""
  local processor = ARDOUR.LuaAPI.new_plugin(Session, plugin, type, preset)
  assert(not processor:isnil(), "Ardour lists no " .. plugin_type .. " plug-in named '" .. plugin .. "'")
  for index, value in string.gmatch(os.getenv("RENDER_PLUGIN_PARAMS") or "", "(%d+)=([^,]+)") do
    assert(ARDOUR.LuaAPI.set_processor_param(processor, tonumber(index), tonumber(value)),
      "could not set control " .. index .. " of " .. plugin)
  end
  local controls = {}
  for index = 0, 63 do
    local value, ok = ARDOUR.LuaAPI.get_processor_param(processor, index, true)
    if not ok[3] then break end
    controls[#controls + 1] = index .. "=" .. value
  end
  print("plug-in controls: " .. table.concat(controls, " "))
  assert(track:add_processor_by_index(processor, 0, nil, true) == 0, "could not insert " .. plugin)
  print("plug-in latency: " .. processor:signal_latency())
end

local export = Session:simple_export()
export:set_folder(folder)
export:set_range(0, samples)
assert(export:set_preset(os.getenv("RENDER_PRESET")), "no export preset " .. os.getenv("RENDER_PRESET"))
assert(export:check_outputs(), "the master bus has nothing to export")
assert(export:run_export(), "the export failed")
if plugin ~= "" then
  -- Known once the plug-in has run: what Ardour compensated during the export.
  print("plug-in latency after the export: " .. Session:route_by_name("in"):nth_plugin(0):signal_latency())
end
print("rendered")
close_session()
