// The control thread of tinvoicer-live: sets everything up, then waits for signals, control lines
// and news from the server until it is told to stop.
#pragma once

#include "live_options.h"

/// Runs the effect live until SIGINT or SIGTERM (returns normally) or until the server shuts down
/// (throws ToolError). Every failure to start throws ToolError with the one line for stderr; all
/// that was opened is closed again in either case.
void runLive(const LiveOptions& options);
