#pragma once

#include "tavlo_cmdline.h"

// The program without a window (a QCoreApplication must exist): --fetch and --check-bookmarks
// over the same store and board layers as the window program. Results go to standard output,
// errors and (on a terminal) progress to standard error. Returns the exit status.
int TavloRunHeadless(const CTavloCommandLine& commandLine);
