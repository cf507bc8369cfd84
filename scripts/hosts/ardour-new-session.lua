-- Creates an Ardour session with one mono audio track named "in", for ardour-render.lua.
-- Environment: RENDER_SESSION (the session folder, created), RENDER_RATE (its sample rate).
local folder, rate = os.getenv("RENDER_SESSION"), tonumber(os.getenv("RENDER_RATE"))
assert(AudioEngine:set_backend("None (Dummy)", "", ""), "no dummy audio backend")
AudioEngine:set_sample_rate(rate)
assert(AudioEngine:start(false) == 0, "the audio engine did not start")
assert(create_session(folder, "render", rate), "could not create " .. folder)
local tracks = Session:new_audio_track(1, 2, nil, 1, "in", ARDOUR.PresentationInfo.max_order,
  ARDOUR.TrackMode.Normal, true)
assert(tracks:size() == 1, "could not add a track")
Session:save_state("", false, false, false, false, false)
close_session()
print("session created")
