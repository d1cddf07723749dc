#pragma once
// State of the one DirectDraw connection, read by the frame's display-switch watcher and the
// pages that draw with DirectDraw.

// A connection is open.
extern int dd_open;
// The connection takes the screen in exclusive full-screen mode.
extern int exclusive;
// The connection is opened only to list the display modes.
extern int list_modes;
// Refresh rate in Hz for a switch to the chosen mode; the options page preselects by it.
extern int refresh_rate;
