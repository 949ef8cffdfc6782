#pragma once

// The program: the sign-in dialog, then, after a sign-in, the main window
// until it closes. Always returns 0.
int RunProgram(int argc, char** argv);
