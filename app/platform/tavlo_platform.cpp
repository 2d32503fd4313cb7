#include "tavlo_platform.h"

#include "vorn_kcode.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QMessageBox>
#include <QScreen>

#include <cmath>
#include <mutex>

const char kTavloFallbackFace[] = "Noto Sans CJK JP";
const char kTavloFallbackFixedFace[] = "Noto Sans Mono CJK JP";

namespace {

TavloMessageBoxHook& messageHook() {
    static TavloMessageBoxHook hook;
    return hook;
}

} // namespace

QColor TavloColor(int colorref) {
    return QColor(colorref & 0xFF, (colorref >> 8) & 0xFF, (colorref >> 16) & 0xFF);
}

int TavloColorRef(const QColor& color) {
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}

QString TavloQString(const CVornString& sjis) {
    std::u16string w = VornSjisToUtf16(sjis.view());
    return QString(reinterpret_cast<const QChar*>(w.data()), static_cast<qsizetype>(w.size()));
}

QString TavloQString(std::u16string_view text) {
    return QString(reinterpret_cast<const QChar*>(text.data()),
                   static_cast<qsizetype>(text.size()));
}

CVornString TavloSjis(const QString& text) {
    return CVornString(VornUtf16ToSjis(std::u16string_view(
        reinterpret_cast<const char16_t*>(text.utf16()), static_cast<size_t>(text.size()))));
}

namespace {

QString resolveFace(const QString& face) {
    if (!face.isEmpty() && QFontDatabase::hasFamily(face))
        return face;
    // "ＭＳ ゴシック" and "MS Gothic" are fixed-pitch; their "P" forms are proportional.
    QString plain = face.normalized(QString::NormalizationForm_KC);
    bool fixed = plain.contains(QString::fromUtf8("ゴシック")) || plain.contains("Gothic");
    fixed = fixed && !plain.contains(QString::fromUtf8("Pゴシック")) &&
            !plain.contains("PGothic") && !plain.contains("UI Gothic");
    if (fixed && QFontDatabase::hasFamily(kTavloFallbackFixedFace))
        return kTavloFallbackFixedFace;
    return kTavloFallbackFace;
}

} // namespace

QString TavloResolveFace(const QString& face) {
    // Each lookup asks fontconfig for the family's aliases, which costs more than building a
    // view; the fonts do not change while the program runs, so each face is asked once.
    static std::mutex lock;
    static QHash<QString, QString> known;
    {
        std::lock_guard<std::mutex> guard(lock);
        if (auto it = known.constFind(face); it != known.constEnd())
            return *it;
    }
    QString resolved = resolveFace(face);
    std::lock_guard<std::mutex> guard(lock);
    known.insert(face, resolved);
    return resolved;
}

int TavloPointsToPixels(int points) {
    double dpi = 96.0;
    if (QScreen* screen = QGuiApplication::primaryScreen())
        dpi = screen->logicalDotsPerInchY();
    return static_cast<int>(std::lround(points * dpi / 72.0));
}

QFont TavloFont(const CVornString& faceSjis, int points, int bold) {
    QString face = TavloResolveFace(TavloQString(faceSjis));
    QFont font;
    if (face == kTavloFallbackFace)
        font.setFamilies({face});
    else
        font.setFamilies({face, kTavloFallbackFace});
    font.setPixelSize(std::max(1, TavloPointsToPixels(points > 0 ? points : 8)));
    font.setWeight(bold == 1 ? QFont::Bold : QFont::Normal);
    return font;
}

void TavloSetMessageBoxHook(TavloMessageBoxHook hook) {
    messageHook() = std::move(hook);
}

int TavloMessageBox(QWidget* parent, const char* text, const char* caption, int flags) {
    QString t = QString::fromUtf8(text ? text : "");
    QString c = QString::fromUtf8(caption ? caption : "");
    if (messageHook())
        return messageHook()(t, c, flags);
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (flags & 0xF0) {
    case TAVLO_MB_ICONERROR:
        icon = QMessageBox::Critical;
        break;
    case TAVLO_MB_ICONQUESTION:
        icon = QMessageBox::Question;
        break;
    case TAVLO_MB_ICONWARNING:
        icon = QMessageBox::Warning;
        break;
    case TAVLO_MB_ICONINFORMATION:
        icon = QMessageBox::Information;
        break;
    default:
        break;
    }
    bool yesNo = (flags & 0xF) == TAVLO_MB_YESNO;
    QMessageBox box(icon, c, t, yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok,
                    parent);
    int r = box.exec();
    if (!yesNo)
        return TAVLO_IDOK;
    return r == QMessageBox::Yes ? TAVLO_IDYES : TAVLO_IDNO;
}
