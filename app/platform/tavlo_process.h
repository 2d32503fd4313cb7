#pragma once

// Starts an external program without a shell and without waiting for it. program is the
// program path; when no such file exists it may carry its own arguments, split at blanks
// (double quotes group). argument, when not empty, is passed as one more argument, untouched.
// Returns 1 when the program started, 0 when it could not be started.
int TavloStartProcess(const char* program, const char* argument);
