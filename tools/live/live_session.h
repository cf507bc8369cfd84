// The control thread of tinvoicer-live: sets everything up, then waits for signals, control lines
// and news from the server until it is told to stop.
#pragma once

#include "live/live_options.h"

/// Runs the effect live until SIGINT or SIGTERM (returns true) or until the server shuts down
/// (throws ToolError). Every failure to start throws ToolError with the one line for stderr; all
/// that was opened is closed again in either case. An effect that does not return from a
/// processing call for a second is reported and abandoned, never closed nor unloaded, and the
/// client is closed: runLive returns false.
bool runLive(const LiveOptions& options);
