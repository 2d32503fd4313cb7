#pragma once

#include "vorn_string.h"

#include <QColor>
#include <QFont>
#include <QString>

#include <functional>
#include <string_view>

class QWidget;

// The small layer that maps the settings' Windows values onto Qt: COLORREF colours, font
// faces and sizes, message boxes, and board text to window text.

// 0x00BBGGRR -> QColor, and back.
QColor TavloColor(int colorref);
int TavloColorRef(const QColor& color);

// Board text (Shift_JIS) <-> window text.
QString TavloQString(const CVornString& sjis);
QString TavloQString(std::u16string_view text);
CVornString TavloSjis(const QString& text);

// The Japanese face every missing face resolves to.
extern const char kTavloFallbackFace[];      // "Noto Sans CJK JP"
extern const char kTavloFallbackFixedFace[]; // "Noto Sans Mono CJK JP"

// The installed family that stands for a face name of the settings (UTF-8): the face itself
// when installed, else a Japanese face (the fixed-pitch one for a non-proportional name such
// as "ＭＳ ゴシック").
QString TavloResolveFace(const QString& face);
// Points to pixels with the screen's vertical resolution, rounded as MulDiv does.
int TavloPointsToPixels(int points);
// A font from a setting's face (Shift_JIS), size in points and bold flag. Every character,
// ASCII included, comes from the resolved face; the Japanese face stays as fallback.
QFont TavloFont(const CVornString& faceSjis, int points, int bold);

// Message boxes. Flags and answers follow the Windows values so callers read like the spec.
enum {
    TAVLO_MB_OK = 0x0,
    TAVLO_MB_YESNO = 0x4,
    TAVLO_MB_ICONERROR = 0x10,
    TAVLO_MB_ICONQUESTION = 0x20,
    TAVLO_MB_ICONWARNING = 0x30,
    TAVLO_MB_ICONINFORMATION = 0x40,
};
enum { TAVLO_IDOK = 1, TAVLO_IDYES = 6, TAVLO_IDNO = 7 };

// Shows a box (text and caption in UTF-8) and returns the answer. When a hook is set the hook
// answers instead and no window appears (tests set one).
int TavloMessageBox(QWidget* parent, const char* text, const char* caption, int flags);
using TavloMessageBoxHook =
    std::function<int(const QString& text, const QString& caption, int flags)>;
void TavloSetMessageBoxHook(TavloMessageBoxHook hook);
