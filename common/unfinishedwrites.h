#pragma once

#include <string>

// The temporary files of safe writes under way, for a signal that ends the
// process to remove (see SafeFileWrite).

// Called once at start-up, before any thread starts: a write beyond the
// process's file-size limit then fails as it does on a full disk, instead of
// ending the process, and a process ended by a signal that can be caught
// (SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGPIPE, SIGXCPU, an abort and the like;
// one not ignored nor handled already) removes the temporary files of its
// unfinished writes first.
void prepareSafeWrites();

// Lists path where the signal handler finds it; returns its slot, or -1
// when none is free (the write is then simply not listed).
int trackTemporary(const std::string &path);
// Takes slot (-1: none) off the list.
void untrackTemporary(int slot);

// A step a signal must not cut in two (a temporary file made but not yet
// listed, an earlier file half rewritten in place): while one is under way on
// any thread, a signal that would end the process waits for the last to end,
// and a step begun after such a signal waits for the end without going on.
class EndingSignalsWait
{
public:
    EndingSignalsWait();
    ~EndingSignalsWait();
    EndingSignalsWait(const EndingSignalsWait &) = delete;
    EndingSignalsWait &operator=(const EndingSignalsWait &) = delete;
};
