#pragma once

// Unattended runs. With no display (neither DISPLAY nor WAYLAND_DISPLAY, and no
// platform chosen through QT_QPA_PLATFORM), a command line that names a
// document and only prints or exports before quitting (-q) runs on the
// offscreen platform. Nobody can answer a box there, so failures go to
// standard error and decide the exit status instead.

// True when the words (argv from index 1, before the toolkit took out its own
// options) ask for nothing but print and export commands followed by -q.
bool commandLineIsUnattended(int count, const char *const *words);

// Decides from the environment and the raw arguments whether to run headless;
// if so selects the offscreen platform and turns batch mode on. Must run before
// the application object is created. The same command line on an offscreen
// platform the caller chose runs as usual, except that its boxes go to
// standard error (nobody could answer them).
bool enterHeadlessBatchModeIfAsked(int argc, const char *const *argv);

// Whether the environment picks the offscreen platform (a caller's choice or,
// once enterHeadlessBatchModeIfAsked has run, the headless batch mode's).
bool offscreenPlatformInEnvironment();

// On the offscreen platform, whoever chose it, the toolkit's notes that mean
// nothing without a screen or a login session stay off standard error; every
// other message, kelvo's own debug output too, still goes there. Once is enough.
void quietOffscreenPlatform();
