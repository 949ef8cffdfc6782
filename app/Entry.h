#pragma once

// The program: the sign-in dialog, then, after a sign-in, the main window
// until it closes. Always returns 0. Started as the picture helper
// (attachments/PictureHelper.h), it serves that instead.
int RunProgram(int argc, char** argv);
