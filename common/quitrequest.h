#pragma once

// Ends the event loop, also when asked before it has started (main checks
// quitRequested() before entering it).
void requestQuit();
bool quitRequested();
