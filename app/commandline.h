#pragma once

// The usage text of the help box, shown by -? (and -h).
extern const char usageText[];
inline constexpr const char *usageTitle = "KELVO Usage";

// Whether a help word (-?, -h) shows the usage box, or only ends the parse.
enum class UsageBox { Show, Skip };

// Fills the option state from words[first .. count-1]. Returns 0, or -1 when a
// help word came (after the usage box has been shown and closed, with Show).
// Parsing the same words again gives the same state.
int parseCommandLine(int count, const char *const *words, int first,
                     UsageBox usage = UsageBox::Show);

// The modal usage box (no parent, no icon, one OK button, fixed size).
void showUsageBox();
