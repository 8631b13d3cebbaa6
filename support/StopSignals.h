#pragma once

// The signals that ask a program to end (SIGINT, SIGTERM, SIGHUP), as a terminal's Ctrl-C,
// `kill` or a batch system's time limit send them. Whenever the program ends on one, no
// temporary file of SaveFile is left behind, and the exit status is 128 + the signal.

// `atOnce`: the first such signal ends the program at once. Otherwise the first is only noted
// (Stop_Signal) for the program to finish in its own time, and a second ends it at once.
void Catch_Stop_Signals(bool atOnce);

// The first stop signal caught, or 0.
int Stop_Signal();
