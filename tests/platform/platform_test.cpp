#include "tavlo_platform.h"
#include "test_util.h"

#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QRawFont>

#include <gtest/gtest.h>

#include <iterator>
#include <vector>

namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "test_platform";
    static char* argv[] = {name, nullptr};
    // Never destroyed: tearing Qt down among the other static objects at exit crashes.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

TEST(Platform, ColorRefsAreBlueGreenRed) {
    EXPECT_EQ(TavloColor(0x0000FF), QColor(255, 0, 0));
    EXPECT_EQ(TavloColor(0xFF0000), QColor(0, 0, 255));
    EXPECT_EQ(TavloColor(0x008000), QColor(0, 128, 0));
    EXPECT_EQ(TavloColor(0x00CCCCCC), QColor(0xCC, 0xCC, 0xCC));
    EXPECT_EQ(TavloColorRef(QColor(0x12, 0x34, 0x56)), 0x563412);
    // The top byte of a COLORREF is not part of the colour.
    EXPECT_EQ(TavloColor(0x01000000 | 0x00FF00), QColor(0, 255, 0));
}

TEST(Platform, BoardTextToWindowText) {
    CVornString sjis(Sjis("表示ソ①ｱ"));
    QString q = TavloQString(sjis);
    EXPECT_EQ(q, QString::fromUtf8("表示ソ①ｱ"));
    EXPECT_EQ(TavloSjis(q), sjis);
}

TEST(Platform, FacesAskedAgainResolveAsTheFirstTime) {
    App();
    // Answers are remembered per face: asked again, in another order, each keeps its own.
    const QString faces[] = {QString::fromUtf8("ＭＳ ゴシック"),
                             QString::fromUtf8("ＭＳ Ｐゴシック"), "No Such Face 456",
                             kTavloFallbackFixedFace, QString()};
    std::vector<QString> first;
    for (const QString& face : faces)
        first.push_back(TavloResolveFace(face));
    for (int round = 0; round < 2; ++round)
        for (size_t i = std::size(faces); i-- > 0;)
            EXPECT_EQ(TavloResolveFace(faces[i]), first[i]) << faces[i].toStdString();
    EXPECT_EQ(first[0], kTavloFallbackFixedFace);
    EXPECT_EQ(first[1], kTavloFallbackFace);
    EXPECT_EQ(first[4], kTavloFallbackFace);
}

TEST(Platform, MissingFacesResolveToTheJapaneseFace) {
    App();
    EXPECT_EQ(TavloResolveFace(QString::fromUtf8("ＭＳ Ｐゴシック")), kTavloFallbackFace);
    EXPECT_EQ(TavloResolveFace(QString::fromUtf8("ＭＳ ゴシック")), kTavloFallbackFixedFace);
    EXPECT_EQ(TavloResolveFace("No Such Face 123"), kTavloFallbackFace);
    EXPECT_EQ(TavloResolveFace(kTavloFallbackFixedFace), kTavloFallbackFixedFace);

    QFont font = TavloFont(CVornString(Sjis("ＭＳ Ｐゴシック")), 8, 0);
    EXPECT_EQ(QFontInfo(font).family(), kTavloFallbackFace);
    EXPECT_EQ(font.pixelSize(), TavloPointsToPixels(8));
    EXPECT_EQ(font.weight(), QFont::Normal);
    EXPECT_EQ(TavloFont(CVornString("x"), 12, 1).weight(), QFont::Bold);

    // ASCII comes from the Japanese face too, not from some other default face.
    QFont noto;
    noto.setFamilies({kTavloFallbackFace});
    noto.setPixelSize(font.pixelSize());
    QFontMetrics a(font), b(noto);
    for (QChar c : QString("AgW1;@") + QString::fromUtf8("あ漢ｱ"))
        EXPECT_EQ(a.horizontalAdvance(c), b.horizontalAdvance(c)) << int(c.unicode());
    EXPECT_TRUE(QRawFont::fromFont(font).supportsCharacter(QChar(u'あ')));
}

TEST(Platform, PointsToPixelsFollowsTheScreen) {
    App();
    int eight = TavloPointsToPixels(8);
    EXPECT_GE(eight, 10);
    EXPECT_EQ(TavloPointsToPixels(72) * 8, TavloPointsToPixels(576));
}

TEST(Platform, MessageBoxHookAnswersWithoutAWindow) {
    App();
    QString seenText, seenCaption;
    int seenFlags = -1;
    TavloSetMessageBoxHook([&](const QString& t, const QString& c, int f) {
        seenText = t;
        seenCaption = c;
        seenFlags = f;
        return TAVLO_IDNO;
    });
    int r = TavloMessageBox(nullptr, "ファイルが存在しません。サーバから取得しますか？",
                            "tavlo/0.0.15", TAVLO_MB_YESNO | TAVLO_MB_ICONQUESTION);
    TavloSetMessageBoxHook(nullptr);
    EXPECT_EQ(r, TAVLO_IDNO);
    EXPECT_EQ(seenText, QString::fromUtf8("ファイルが存在しません。サーバから取得しますか？"));
    EXPECT_EQ(seenCaption, "tavlo/0.0.15");
    EXPECT_EQ(seenFlags, TAVLO_MB_YESNO | TAVLO_MB_ICONQUESTION);
}

} // namespace
