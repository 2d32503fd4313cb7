// Renders a sample thread offscreen at a fixed size and font, checks the colours the markers
// call for, and keeps the picture under the build directory for a person to look at.
#include "tavlo_dat_ctrl.h"
#include "tavlo_path.h"
#include "view_test_util.h"

#include <QImage>
#include <QRawFont>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <map>

namespace {

const CVornString kBoard("http://example.com/test/");
const CVornString kKey("1111111111");

// Distinct colours (0x00BBGGRR) so that every marker's colour can be told apart.
constexpr int kFrom = 0x008000;         // green
constexpr int kFromWithMail = 0x0080FF; // orange
constexpr int kFromWithSage = 0xFF0000; // blue
constexpr int kDateNew = 0x0000FF;      // red
constexpr int kDate = 0x000000;
constexpr int kLink = 0xFF00FF;    // magenta
constexpr int kAbone = 0xAAAAAA;   // grey
constexpr int kMessage = 0x808000; // teal
constexpr int kCite = 0x008080;    // olive
constexpr int kFore = 0x000000;

const char kLog[] =
    "名無しさん<>sage<>2009/01/01(木) 12:00:00 ID:AbCdEf12<> 最初の書き込みです。 <br> "
    "詳細は ttp://example.com/page.html を見てね <>【サンプル】表示テスト Part1\n"
    "通りすがり<>age<>2009/01/01(木) 12:01:00 ID:Zz9<> &gt;&gt;1 <br> &gt;引用した文 <br> "
    "了解です <>\n"
    "荒らし<><>2009/01/01(木) 12:02:00 ID:Qq1<> NGWORD を含む書き込み <>\n"
    "名無しさん<><>2009/01/01(木) 12:03:00 ID:AbCdEf12<> 一行目 <br><br><br><br><br> "
    "空行の後の行 ① ㈱ ～ ｱｲｳ <>\n"
    "名無しさん<>sage<>2009/01/01(木) 12:04:00 ID:?\?\?<> 最後の書き込み &copy; &#x3042; <>\n";

struct Rgb {
    int r, g, b;
};
Rgb FromRef(int ref) {
    return {ref & 0xFF, (ref >> 8) & 0xFF, (ref >> 16) & 0xFF};
}

class Screenshot : public ::testing::Test {
protected:
    void SetUp() override {
        CTavloSettings& s = CTavloSettings::Instance();
        s.SetInt("ColorFrom", kFrom);
        s.SetInt("ColorFromWithMail", kFromWithMail);
        s.SetInt("ColorFromWithSage", kFromWithSage);
        s.SetInt("ColorDateNew", kDateNew);
        s.SetInt("ColorDate", kDate);
        s.SetInt("ColorLink", kLink);
        s.SetInt("ColorAbone", kAbone);
        s.SetInt("ColorMessage", kMessage);
        s.SetInt("ColorCite", kCite);
        s.SetInt("ColorFore", kFore);
        s.SetInt("ColorBack", 0xFFFFFF);
        s.SetInt("TransParentAbone", 0);
        s.SetInt("FontSizeArticle", 10);
        std::string log = std::string(CTavloPath::GetLogPath(kBoard, kKey).c_str());
        VornCreateDirectories(CTavloPath::GetDirectory(CVornString(log)).c_str());
        WriteAll(log, Sjis(kLog));
        WriteAll(env.root + "/ngword.txt", "\tNGWORD\r\n");

        ctrl = std::make_unique<CTavloDatCtrl>();
        text = ctrl->GetTextCtrl();
        text->SetTextFont(CTavloDatCtrl::ArticleFont());
        text->resize(520, 400);
        text->show();
        QApplication::processEvents();
        ctrl->SetThread(kBoard, kKey);
        ctrl->PrepareNgExpression();
        ASSERT_EQ(ctrl->CreateFromFile(), 0);
        image = text->grab().toImage().convertToFormat(QImage::Format_RGB32);

        std::string dir = std::string(TAVLO_BINARY_DIR) + "/artifacts";
        VornCreateDirectories(dir.c_str());
        path = dir + "/thread_view.png";
        image.save(QString::fromStdString(path));
        std::cout << "thread view screenshot: " << path << std::endl;
    }

    // Offset of the first occurrence of utf8 in the display text.
    size_t Find(const char* utf8, size_t from = 0) {
        size_t at = text->GetText().find(VornUtf8ToUtf16(utf8), from);
        EXPECT_NE(at, std::u16string::npos) << utf8;
        return at;
    }

    // Share of the inked pixels of [a, b) (one display line) that are drawn in ref; a pixel
    // counts when it lies on the blend between the background and that colour.
    double Share(size_t a, size_t b, int ref, int* inked = nullptr) {
        QPoint pa = text->PosFromChar(a), pb = text->PosFromChar(b);
        EXPECT_EQ(pa.y(), pb.y()) << "range must be on one display line";
        Rgb c = FromRef(ref);
        int total = 0, hit = 0;
        for (int y = pa.y(); y < pa.y() + text->GetLineHeight(); ++y) {
            for (int x = pa.x(); x < pb.x(); ++x) {
                QRgb p = image.pixel(x, y);
                int dr = qRed(p) - 255, dg = qGreen(p) - 255, db = qBlue(p) - 255;
                // Faint edge pixels of antialiased glyphs tell little about the colour.
                if (std::max({-dr, -dg, -db}) < 64)
                    continue;
                ++total;
                double vr = c.r - 255, vg = c.g - 255, vb = c.b - 255;
                double len2 = vr * vr + vg * vg + vb * vb;
                double t = (dr * vr + dg * vg + db * vb) / len2;
                double er = dr - t * vr, eg = dg - t * vg, eb = db - t * vb;
                if (t > 0.2 && std::sqrt(er * er + eg * eg + eb * eb) < 40)
                    ++hit;
            }
        }
        if (inked)
            *inked = total;
        return total ? static_cast<double>(hit) / total : 0.0;
    }

    void ExpectColor(size_t a, size_t b, int ref, const char* what) {
        int inked = 0;
        double share = Share(a, b, ref, &inked);
        EXPECT_GT(inked, 10) << what << ": nothing drawn";
        EXPECT_GT(share, 0.9) << what;
    }

    ViewEnv env;
    std::unique_ptr<CTavloDatCtrl> ctrl;
    CTavloTextCtrl* text = nullptr;
    QImage image;
    std::string path;
};

TEST_F(Screenshot, MarkersChooseTheColours) {
    ASSERT_EQ(ctrl->GetPostCount(), 5);
    EXPECT_EQ(image.size(), QSize(520, 400));

    // Post 1: sage header, its number referenced by post 2 and so drawn as a link.
    size_t h1 = Find("\x03[1]");
    ExpectColor(h1 + 2, h1 + 3, kLink, "referenced number");
    ExpectColor(Find("名無しさん<sage>"), Find("名無しさん<sage>") + 10, kFromWithSage,
                "sage name");
    // New date line; the ID seen twice is a link.
    size_t d1 = Find("\x04"
                     "2009");
    size_t id = Find("AbCdEf12", d1);
    ExpectColor(d1 + 1, id - 3, kDateNew, "new date");
    ExpectColor(id, id + 8, kLink, "repeated ID");
    // Body text, then a URL without its "h".
    size_t url = Find("ttp://example.com/page.html");
    ExpectColor(Find("詳細は"), Find("詳細は") + 3, kFore, "body");
    ExpectColor(url, url + 27, kLink, "URL");

    // Post 2: a mail that is not sage; an anchor; a quotation line.
    size_t n2 = Find("通りすがり<age>");
    ExpectColor(n2, n2 + 10, kFromWithMail, "mail name");
    size_t anchor = Find(">>1\n");
    ExpectColor(anchor, anchor + 3, kLink, "anchor");
    size_t cite = Find(">引用した文");
    ExpectColor(cite, cite + 6, kCite, "quotation");

    // Post 3: matched by NG, shown (hide aboned off) with its header greyed.
    size_t h3 = Find("\x07[3]");
    ExpectColor(h3 + 1, h3 + 8, kAbone, "aboned header");
    // Post 4: dropped blank lines leave a note.
    size_t note = Find("\x08(");
    ExpectColor(note + 1, note + 7, kMessage, "dropped-lines note");
    // An ID seen once, and one starting with "?", stay in the date colour.
    size_t q = Find("ID:Zz9");
    ExpectColor(q + 3, q + 6, kDateNew, "single ID");
    // Empty mail.
    size_t h4 = Find("\x01[4]");
    ExpectColor(h4 + 1, h4 + 9, kFrom, "plain name");
}

TEST_F(Screenshot, EveryCharacterHasAGlyph) {
    QRawFont raw = QRawFont::fromFont(text->GetTextFont());
    ASSERT_TRUE(raw.isValid());
    EXPECT_EQ(raw.familyName(), kTavloFallbackFace);
    std::u16string all = text->GetText();
    for (char16_t c : all) {
        if (c < 0x20)
            continue;
        EXPECT_TRUE(raw.supportsCharacter(QChar(c))) << "no glyph for U+" << std::hex << int(c);
    }
    // Every visible line has ink; the area below the text is background.
    int lines = text->GetLineCount();
    int lh = text->GetLineHeight();
    for (int l = 0; l < lines && (l + 1) * lh <= image.height(); ++l) {
        if (text->GetLineText(l).empty() || text->GetLineText(l) == u"\r")
            continue;
        bool ink = false;
        for (int y = l * lh; y < (l + 1) * lh && !ink; ++y)
            for (int x = 0; x < image.width() && !ink; ++x)
                ink = image.pixel(x, y) != qRgb(255, 255, 255);
        EXPECT_TRUE(ink) << "line " << l << " drew nothing";
    }
    EXPECT_EQ(image.pixel(5, image.height() - 2), qRgb(255, 255, 255));
}

TEST_F(Screenshot, SelectionIsDrawnByTheControl) {
    size_t a = Find("最初の書き込み");
    text->SetSel(a, a + 7);
    QImage sel = text->grab().toImage().convertToFormat(QImage::Format_RGB32);
    QPoint p = text->PosFromChar(a) + QPoint(2, 1);
    EXPECT_EQ(QColor(sel.pixel(p)), text->palette().color(QPalette::Highlight));
    text->SetSel(0, 0);
}

} // namespace
