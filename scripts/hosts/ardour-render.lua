-- Renders the session's track "in" (one region holding the input file) through one plug-in and
-- exports the whole file from the master bus as 32-bit float WAV.
-- Environment: RENDER_SESSION, RENDER_RATE, RENDER_SAMPLES (the file's length), RENDER_PLUGIN
-- (the plug-in's name as Ardour lists it, or an LV2 plug-in's URI; empty: none), RENDER_PRESET
-- (the export preset's id); optional: RENDER_PLUGIN_TYPE (LXVST, the default, or LV2) and
-- RENDER_PLUGIN_PARAMS (INDEX=VALUE,... set on the plug-in's controls).
-- The track is panned hard left, where the equal-power panner's gain is 1: the master's left
-- channel is the track's output itself, the right one is silent.
local folder, plugin = os.getenv("RENDER_SESSION"), os.getenv("RENDER_PLUGIN")
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
track:pan_azimuth_control():set_value(0, PBD.GroupControlDisposition.NoGroup)

if plugin ~= "" then
  local kind = os.getenv("RENDER_PLUGIN_TYPE") or "LXVST"
  local processor = ARDOUR.LuaAPI.new_plugin(Session, plugin, ARDOUR.PluginType[kind], "")
  assert(not processor:isnil(), "Ardour lists no " .. kind .. " plug-in named '" .. plugin .. "'")
  for index, value in string.gmatch(os.getenv("RENDER_PLUGIN_PARAMS") or "", "(%d+)=([^,]+)") do
    assert(ARDOUR.LuaAPI.set_processor_param(processor, tonumber(index), tonumber(value)),
      "could not set control " .. index .. " of " .. plugin)
  end
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
