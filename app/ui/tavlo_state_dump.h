#pragma once

class CMainFrame;

// With TAVLO_STATE_FILE set, the frame's visible state is written there as "name=value" lines
// (shown view, placed bar, window title, open menu, thread tabs, the thread list's sort key and
// chosen thread), for tests that drive the program from outside with real key presses.
// Nothing happens without the variable.
bool TavloStateDumpWanted();
void TavloDumpState(CMainFrame* frame);
// One more key released ("keys" in the file), so that a test knows its keys were handled.
void TavloCountKey();
