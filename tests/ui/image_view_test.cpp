// Images in the whole program against the local board server: a link in a thread opens the
// image view with the picture, Enter toggles fit, the delete key removes the file from the
// cache and its list; thumbnails inside the thread; the cache lists in the cache container.
#include "fetch_support.h"
#include "tavlo_cache_image_file.h"
#include "tavlo_cache_image_view.h"
#include "tavlo_cache_view.h"
#include "tavlo_dat_view.h"
#include "tavlo_dat_view_host.h"
#include "tavlo_image_url_replace.h"
#include "tavlo_image_view.h"
#include "tavlo_inline_images.h"
#include "tavlo_jump_dialog.h"
#include "tavlo_path.h"
#include "tavlo_tab_view.h"
#include "ui_test_util.h"
#include "vorn_kcode.h"

#include <QComboBox>
#include <QImage>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const char kThread[] = "http://hobby.example-bbs.test/test/read.cgi/pics/1700000000/";
const char kRed[] = "http://img.example-img.test/gen/64x48-ff0000.png";

// Pixels of a colour in an image (within a small tolerance for smoothing).
int countColour(const QImage& image, QColor want, int tolerance = 8) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (std::abs(c.red() - want.red()) <= tolerance &&
                std::abs(c.green() - want.green()) <= tolerance &&
                std::abs(c.blue() - want.blue()) <= tolerance)
                ++n;
        }
    return n;
}

class ImageShell : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fx.sim.ok());
        CTavloCacheImageFile::Reset();
        CTavloImageViewUrlReplace::Reset();
        CTavloSettings& s = CTavloSettings::Instance();
        s.SetOnline(1);
        s.SetInt("UseImageView", 1);
        s.SetInt("InlineImage", inlineImages());
        s.SetInt("ViewAfterDownload", inlineImages() ? 0 : 1);
        ASSERT_EQ(run.start(), 1);
        f = run.frame();
        f->resize(640, 480);
        boxes.boxes.clear();
    }
    void TearDown() override { CTavloCacheImageFile::Reset(); }
    virtual int inlineImages() const { return 0; }

    CTavloDatView* threads() { return static_cast<CTavloDatViewHost*>(f->Views().thread)->View(); }
    CTavloImageView* image() { return static_cast<CTavloImageView*>(f->Views().image); }
    void openThread() {
        f->OnCommand(ID_JUMP);
        f->GetJumpBar()->GetCombo()->setEditText(QString::fromUtf8(kThread));
        f->GetJumpBar()->GetOkButton()->click();
        ASSERT_TRUE(PumpUntil(
            [&] { return threads()->GetTabCount() > 0 && !f->Views().thread->IsBusy(); }, 15000));
        ASSERT_GT(threads()->GetCurrentCtrl()->GetPostCount(), 3);
    }
    // Clicks the first place in the thread text where the link is written.
    void clickLink(const char* link) {
        CTavloDatCtrl* c = threads()->GetCurrentCtrl();
        const std::u16string text =
            c->GetTextCtrl()->Layout().Buffer().Substr(0, c->GetTextCtrl()->Layout().Length());
        const size_t at = text.find(VornUtf8ToUtf16(link));
        ASSERT_NE(at, std::u16string::npos);
        c->ClickAt(at + 10);
    }
    QImage grab(QWidget* w) { return w->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    std::string cachePath(const char* link) {
        return CTavloPath::GetImageCachePath(CVornString(link)).str();
    }

    BoardFixture fx;
    BoxLog boxes;
    ShellRun run{fx.dir.file("tavlo.ini")};
    CMainFrame* f = nullptr;
};

class InlineShell : public ImageShell {
protected:
    int inlineImages() const override { return 1; }
};

} // namespace

TEST_F(ImageShell, ALinkOpensThePictureEnterTogglesFitAndDeleteRemovesIt) {
    openThread();
    clickLink(kRed);
    // Downloaded, then shown: the thread view was the newest view.
    ASSERT_TRUE(PumpUntil([&] { return f->GetShownView() == TAVLO_VIEW_IMAGE; }, 15000))
        << (boxes.count() ? boxes.last().text.toStdString() : "");
    ASSERT_TRUE(CTavloPath::GetFileStatus(CVornString(cachePath(kRed))));
    EXPECT_EQ(image()->GetImage().GetWidth(), 64);
    EXPECT_TRUE(image()->IsFit());
    QImage fit = grab(image());
    SaveShot(image(), "image_view_fit.png");
    const QPoint centre(fit.width() / 2, fit.height() / 2);
    EXPECT_EQ(fit.pixelColor(centre), QColor(255, 0, 0));
    // Fitted into the client: the picture fills its height and leaves bands at the sides
    // (64:48 is wider than the client's 4:3 only when the client is taller).
    const int red = countColour(fit, QColor(255, 0, 0));
    EXPECT_GT(red, fit.width() * fit.height() / 2);

    // Enter: the picture at its own size, centred.
    QTest::keyClick(image(), Qt::Key_Return);
    EXPECT_FALSE(image()->IsFit());
    QImage actual = grab(image());
    SaveShot(image(), "image_view_actual.png");
    EXPECT_EQ(countColour(actual, QColor(255, 0, 0)), 64 * 48);
    EXPECT_EQ(actual.pixelColor(centre), QColor(255, 0, 0));
    EXPECT_EQ(actual.pixelColor(centre.x() - 40, centre.y()), QColor(255, 255, 255));
    // Arrows do nothing to a picture smaller than the client.
    QTest::keyClick(image(), Qt::Key_Right);
    EXPECT_EQ(image()->GetScroll(), QPoint(0, 0));
    // Enter again: fit, the same picture.
    QTest::keyClick(image(), Qt::Key_Return);
    EXPECT_TRUE(image()->IsFit());
    EXPECT_EQ(grab(image()), fit);

    // The cached list holds it; the delete key asks, deletes, goes back, and the list drops it.
    CTavloCacheImageFile& list = CTavloCacheImageFile::Instance();
    ASSERT_GE(list.FindPath(CVornString(cachePath(kRed))), 0);
    boxes.answers[QString::fromUtf8("削除しますか？")] = TAVLO_IDYES;
    QTest::keyClick(image(), Qt::Key_D);
    EXPECT_EQ(boxes.last().text, QString::fromUtf8("削除しますか？"));
    EXPECT_FALSE(CTavloPath::GetFileStatus(CVornString(cachePath(kRed))));
    EXPECT_EQ(list.FindPath(CVornString(cachePath(kRed))), -1);
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_THREAD);
    auto* imageList = static_cast<CTavloCacheImageView*>(f->Views().imageList);
    EXPECT_EQ(imageList->GetItemCount(), list.GetCount());
}

TEST_F(ImageShell, APictureOnceDownloadedOpensFromTheCacheAndBrokenOnesShowTheError) {
    openThread();
    clickLink(kRed);
    ASSERT_TRUE(PumpUntil([&] { return f->GetShownView() == TAVLO_VIEW_IMAGE; }, 15000));
    f->ViewBack();
    fx.sim.clearRequests();
    clickLink(kRed);
    // The link reaches the frame as a posted message: shown from the cache at once.
    EXPECT_TRUE(PumpUntil([&] { return f->GetShownView() == TAVLO_VIEW_IMAGE; }, 5000));
    EXPECT_FALSE(image()->IsDownloading());
    for (const std::string& r : fx.sim.requests())
        EXPECT_EQ(r.find("64x48"), std::string::npos) << r;

    // HTML where the picture should be: the error text, and nothing stored.
    f->ViewBack();
    clickLink("http://img.example-img.test/html.png");
    ASSERT_TRUE(PumpUntil([&] { return !image()->IsDownloading(); }, 15000));
    PumpUntil([&] { return !image()->GetErrorText().isEmpty(); }, 5000);
    EXPECT_EQ(image()->GetErrorText(), QString("Content-Type: text/html"));
    EXPECT_FALSE(
        CTavloPath::GetFileStatus(CVornString(cachePath("http://img.example-img.test/html.png"))));

    // A decompression bomb: the view says it cannot, tries half the size, and shows the error.
    f->ViewBack();
    boxes.boxes.clear();
    clickLink("http://img.example-img.test/bomb.png");
    ASSERT_TRUE(PumpUntil([&] { return !image()->IsDownloading() && boxes.count() > 0; }, 15000));
    EXPECT_TRUE(
        boxes.last().text.startsWith(QString::fromUtf8("オリジナルサイズで表示出来ません")));
    EXPECT_TRUE(image()->GetErrorText().startsWith("CTavloImage::Create error"))
        << image()->GetErrorText().toStdString();
    EXPECT_TRUE(image()->GetImage().IsNull());
    QImage shot = grab(image());
    EXPECT_GT(countColour(shot, QColor(0, 0, 0), 60), 20); // the error text
}

TEST_F(ImageShell, ArrowsScrollALargePictureByAFifthClampedToItsEdges) {
    openThread();
    const char* link = "http://img.example-img.test/gen/1500x1200-00ff00.png";
    f->OpenUrl(CVornString(link));
    ASSERT_TRUE(PumpUntil([&] { return f->GetShownView() == TAVLO_VIEW_IMAGE; }, 15000));
    ASSERT_EQ(image()->GetImage().GetWidth(), 1500);
    // Fitted, the arrows do nothing.
    QTest::keyClick(image(), Qt::Key_Right);
    EXPECT_EQ(image()->GetScroll(), QPoint(0, 0));
    QTest::keyClick(image(), Qt::Key_Return);
    const int w = image()->width(), h = image()->height();
    QTest::keyClick(image(), Qt::Key_Right);
    QTest::keyClick(image(), Qt::Key_Down);
    EXPECT_EQ(image()->GetScroll(), QPoint(w / 5, h / 5));
    for (int i = 0; i < 20; ++i)
        QTest::keyClick(image(), Qt::Key_Right);
    EXPECT_EQ(image()->GetScroll().x(), 1500 - w);
    for (int i = 0; i < 20; ++i)
        QTest::keyClick(image(), Qt::Key_Up);
    EXPECT_EQ(image()->GetScroll().y(), 0);
    EXPECT_EQ(grab(image()).pixelColor(5, 5), QColor(0, 255, 0));
}

TEST_F(ImageShell, OfflineTheDownloadIsAskedFor) {
    openThread();
    CTavloSettings::Instance().SetOnline(0);
    const QString question = QString::fromUtf8("ファイルが存在しません。サーバから取得しますか？");
    boxes.answers[question] = TAVLO_IDNO;
    fx.sim.clearRequests();
    clickLink(kRed);
    ASSERT_TRUE(PumpUntil([&] { return boxes.count() > 0; }, 5000));
    EXPECT_EQ(boxes.last().text, question);
    EXPECT_FALSE(image()->IsDownloading());
    EXPECT_TRUE(fx.sim.requests().empty());
    boxes.answers[question] = TAVLO_IDYES;
    clickLink(kRed);
    ASSERT_TRUE(PumpUntil([&] { return f->GetShownView() == TAVLO_VIEW_IMAGE; }, 15000));
    EXPECT_EQ(image()->GetImage().GetWidth(), 64);
}

TEST_F(InlineShell, ThumbnailsAreDrawnOnceCachedAndIconsBefore) {
    openThread();
    CTavloDatCtrl* c = threads()->GetCurrentCtrl();
    QWidget* text = c->GetTextCtrl()->viewport();
    const QColor icon = TavloColor(CTavloInlineImages::kIconColor);
    QImage before = grab(text);
    SaveShot(text, "inline_icons.png");
    EXPECT_GT(countColour(before, icon, 2), 20);
    // Red so far is only the dates of new posts.
    const int redBefore = countColour(before, QColor(255, 0, 0), 12);

    // Downloading the red picture: with ViewAfterDownload 0 the thread view stays and paints
    // the thumbnail in the rows below the link.
    clickLink(kRed);
    ASSERT_TRUE(PumpUntil(
        [&] { return CTavloCacheImageFile::Instance().IsCached(CVornString(cachePath(kRed))); },
        15000));
    ASSERT_TRUE(PumpUntil([&] { return !image()->IsDownloading(); }, 15000));
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_THREAD);
    QImage after = grab(text);
    SaveShot(text, "inline_thumbnail.png");
    // Five rows of the line height, the width in proportion (64:48).
    const int lh = c->GetTextCtrl()->GetLineHeight();
    const int h = 5 * lh, w = 64 * h / 48;
    const int thumbnail = countColour(after, QColor(255, 0, 0), 12) - redBefore;
    EXPECT_GT(thumbnail, w * h * 8 / 10);
    EXPECT_LT(thumbnail, w * h * 12 / 10);
    EXPECT_LT(countColour(after, icon, 2), countColour(before, icon, 2));
}
