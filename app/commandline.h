#pragma once

// The usage text of the help box, shown by -? (and -h).
extern const char usageText[];
inline constexpr const char *usageTitle = "KELVO Usage";

// Fills the option state from words[first .. count-1]. Returns 0, or -1 after
// the usage box has been shown and closed.
int parseCommandLine(int count, const char *const *words, int first);

// The modal usage box (no parent, no icon, one OK button, fixed size).
void showUsageBox();
