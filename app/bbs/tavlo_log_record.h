#pragma once

class CTavloMessage;

// What a thread's info file learns when a fetch closes the log of a thread no tab shows: the
// new post count, and that there is something new to read. Used by the thread view and by the
// program without a window, so that both leave the same store behind.
void TavloRecordUnshownLog(const CTavloMessage& message);
