#pragma once

// The message of a result code (UTF-8), empty for codes without one.
const char* TavloErrorMessage(int code);

// Captions of message boxes.
extern const char kTavloCaption[];      // "tavlo/0.0.15": questions and errors of the views
extern const char kTavloErrorCaption[]; // "tavlo": errors shown by code
