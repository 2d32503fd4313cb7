#pragma once

class CMainFrame;

// With TAVLO_STATE_FILE set, the frame's visible state is written there as "name=value" lines
// (shown view, placed bar, window title, open menu, thread tabs, the thread list's sort key and
// chosen thread, the anchor popups), for tests that drive the program from outside with real key
// presses. Nothing happens without the variable.
bool TavloStateDumpWanted();
void TavloDumpState(CMainFrame* frame);
// Also writes the state when anchor popups open or close (they follow the mouse, not keys).
void TavloWatchState(CMainFrame* frame);
// One more key released ("keys" in the file), so that a test knows its keys were handled. Shift
// releases are counted apart too ("syncs"): a Shift pressed after a key whose release may be
// lost (it closed a window) tells the test when the count is current again.
void TavloCountKey(int qtKey);
