-- Lists the VST 2 plug-ins that Ardour's plug-in manager finds on its search path, one a line:
-- name, unique id and file. It reads the scanner's cache only, as Ardour does at start.
assert(AudioEngine:set_backend("None (Dummy)", "", ""), "no dummy audio backend")
assert(AudioEngine:start(false) == 0, "the audio engine did not start")
assert(create_session(os.getenv("LIST_SESSION"), "list", 48000), "could not create a session")
for info in ARDOUR.LuaAPI.list_plugins():iter() do
  if info.type == ARDOUR.PluginType.LXVST then
    print("vst2: " .. info.name .. " | " .. info.unique_id .. " | " .. info.path)
  end
end
close_session()
