// Decoding under the allocation limit, and downloads from the local board server: redirects,
// cookies, pages to extract from, and answers that must leave nothing in the cache.
#include "fetch_support.h"
#include "tavlo_image.h"
#include "tavlo_image_download.h"
#include "tavlo_image_fetch.h"
#include "tavlo_image_url_replace.h"
#include "tavlo_path.h"
#include "vorn_file.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>

#include <algorithm>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

QGuiApplication& App() {
    static int argc = 1;
    static char name[] = "test_image";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    return *app;
}

const char kImg[] = "http://img.example-img.test";

long maxRssKb() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

std::string encode(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes.toStdString();
}

class Images : public testing::Test {
protected:
    void SetUp() override {
        App();
        ASSERT_TRUE(fx.sim.ok());
    }
    std::string cachePath(const std::string& link) {
        return CTavloPath::GetImageCachePath(CVornString(link)).str();
    }
    // Nothing of a download stays: neither in the cache nor beside it.
    bool leftovers() {
        for (const char* d : {"/.img", "/.img-tmp"})
            for (const std::string& n : VornListDirectory((fx.root() + d).c_str()))
                if (!n.empty())
                    return true;
        return false;
    }
    int download(const std::string& link, CVornString* message, const CVornString& referer = "",
                 const CVornString& cookie = "") {
        return CTavloImageDownloader::Download(nullptr, nullptr, CVornString(link), referer, cookie,
                                               CVornString(cachePath(link)), message);
    }
    BoardFixture fx;
};

} // namespace

TEST_F(Images, TruncatedAndBombPicturesFailWithBoundedMemory) {
    TempDir dir;
    QImage picture(300, 200, QImage::Format_RGB32);
    picture.fill(QColor(200, 10, 10));
    const std::string png = encode(picture, "PNG");
    WriteAll(dir.file("cut.png"), png.substr(0, png.size() / 3));
    const std::string jpg = encode(picture, "JPEG");
    WriteAll(dir.file("cut.jpg"), jpg.substr(0, 40));
    const std::string bomb = fx.sim.get(std::string(kImg) + "/bomb.png");
    ASSERT_GT(bomb.size(), 100u);
    WriteAll(dir.file("bomb.png"), bomb);
    WriteAll(dir.file("text.png"), "<html>not a picture</html>");

    const long before = maxRssKb();
    for (const char* name : {"cut.png", "cut.jpg", "bomb.png", "text.png"}) {
        CTavloImage image;
        EXPECT_NE(image.Load(CVornString(dir.file(name))), 0) << name;
        EXPECT_TRUE(image.IsNull()) << name;
        // The half-size load the view tries next is refused as well.
        int w = 0, h = 0;
        if (CTavloImage::GetSize(CVornString(dir.file(name)), &w, &h) == 0) {
            EXPECT_NE(image.LoadScaled(CVornString(dir.file(name)), w / 2, h / 2), 0) << name;
        }
    }
    // The bomb alone would need ten gigabytes.
    EXPECT_LT(maxRssKb() - before, 400L * 1024);

    int w = 0, h = 0;
    EXPECT_EQ(CTavloImage::GetSize(CVornString(dir.file("bomb.png")), &w, &h), 0);
    EXPECT_EQ(w, 60000);
    CTavloImage whole;
    WriteAll(dir.file("ok.jpg"), jpg);
    ASSERT_EQ(whole.Load(CVornString(dir.file("ok.jpg"))), 0);
    EXPECT_EQ(whole.GetWidth(), 300);
    EXPECT_FALSE(whole.GetBitmap().hasAlphaChannel());
    // Fitted: a box wider than high keeps the height.
    CTavloImage fit;
    ASSERT_EQ(fit.LoadFit(CVornString(dir.file("ok.jpg")), 1000, 50), 0);
    EXPECT_EQ(fit.GetHeight(), 50);
    EXPECT_EQ(fit.GetWidth(), 75);
    ASSERT_EQ(fit.LoadFit(CVornString(dir.file("ok.jpg")), 30, 100), 0);
    EXPECT_EQ(fit.GetWidth(), 30);
    EXPECT_EQ(fit.GetHeight(), 20);
}

TEST_F(Images, ARedirectedPictureIsStoredWhole) {
    CVornString message;
    const std::string link = std::string(kImg) + "/moved.png";
    ASSERT_EQ(download(link, &message), 0) << message.str();
    CTavloImage image;
    ASSERT_EQ(image.Load(CVornString(cachePath(link))), 0);
    EXPECT_EQ(image.GetWidth(), 40);
    EXPECT_EQ(QColor(image.GetBitmap().pixel(5, 5)), QColor(0, 0, 255));
    EXPECT_FALSE(VornIsDirectory((fx.root() + "/.img-tmp/x").c_str()));
    EXPECT_TRUE(VornListDirectory((fx.root() + "/.img-tmp").c_str()).empty());
}

TEST_F(Images, PartsLeftByAKilledDownloadGoAtTheNextDownload) {
    // A process that has ended: its pid owns nothing any more.
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    ASSERT_GT(child, 0);
    waitpid(child, nullptr, 0);
    const std::string tmp = fx.root() + "/.img-tmp";
    ASSERT_TRUE(CTavloPath::MakeDirectory(CVornString(tmp)));
    const std::string dead = std::to_string(child) + "-3.part";
    const std::string own = std::to_string(getpid()) + "-999.part";
    const std::string living = std::to_string(getppid()) + "-1.part";
    for (const std::string& n : {dead, own, living, std::string("notes.txt")})
        ASSERT_TRUE(VornWriteFileAtomic((tmp + "/" + n).c_str(), "half a picture"));

    CVornString message;
    const std::string link = std::string(kImg) + "/gen/20x10-00ff00.png";
    ASSERT_EQ(download(link, &message), 0) << message.str();
    EXPECT_TRUE(CTavloPath::GetFileStatus(CVornString(cachePath(link))));
    std::vector<std::string> left = VornListDirectory(tmp.c_str());
    std::sort(left.begin(), left.end());
    std::vector<std::string> want{living, "notes.txt"};
    std::sort(want.begin(), want.end());
    // The running parent's part and a file that is no part stay; the dead and stale go.
    EXPECT_EQ(left, want);

    // Once per run: a part appearing later (another download of this run) is not touched.
    ASSERT_TRUE(VornWriteFileAtomic((tmp + "/" + own).c_str(), "half"));
    ASSERT_EQ(download(std::string(kImg) + "/gen/10x10-0000ff.png", &message), 0);
    EXPECT_TRUE(CTavloPath::GetFileStatus(CVornString(tmp + "/" + own)));
}

TEST_F(Images, HtmlWhereAPictureWasExpectedLeavesNoFile) {
    CVornString message;
    EXPECT_EQ(download(std::string(kImg) + "/html.png", &message), -101);
    EXPECT_EQ(message, "Content-Type: text/html");
    EXPECT_EQ(download(std::string(kImg) + "/gen/nothing.png", &message), -101);
    EXPECT_NE(message.Find("404"), -1) << message.str();
    EXPECT_FALSE(leftovers());
}

TEST_F(Images, ATransferCutShortLeavesNoFile) {
    CVornString message;
    EXPECT_EQ(download(std::string(kImg) + "/cut.png", &message), -102);
    EXPECT_FALSE(CTavloPath::GetFileStatus(CVornString(cachePath(std::string(kImg) + "/cut.png"))));
    EXPECT_FALSE(leftovers());
}

TEST_F(Images, CookieAndExtractRulesAgainstTheBoardServer) {
    CTavloImageViewUrlReplace table;
    table.Parse(
        "http://img\\.example-img\\.test/c/(\\w+)\thttp://img.example-img.test/cookie/pic.png\t"
        "http://img.example-img.test/cookie/page.html\t$COOKIE=http://img.example-img.test/\n"
        "http://img\\.example-img\\.test/x/(\\w+)\t$EXTRACT\thttp://img.example-img.test/extract/"
        "page.html\t"
        "$EXTRACT=http://img.example-img.test/\t<img src=\"([^\"]+)\">\n");
    table.SetPageFetch([](const CVornString& url, const CVornString& referer, std::string* body,
                          CVornString* cookie) {
        return TavloImageFetchPage(nullptr, nullptr, url, referer, body, cookie);
    });
    CTavloImageViewUrlReplaceMatch m;
    ASSERT_EQ(table.Match(std::string(kImg) + "/c/one", &m), 0);
    EXPECT_EQ(m.Referer, std::string(kImg) + "/cookie/page.html");
    EXPECT_EQ(m.Cookie.Left(13), "imgtok=c00k1e");
    CVornString message;
    const std::string link = std::string(kImg) + "/c/one";
    ASSERT_EQ(CTavloImageDownloader::Download(nullptr, nullptr, m.ImageUrl, m.Referer, m.Cookie,
                                              CVornString(cachePath(link)), &message),
              0)
        << message.str();
    CTavloImage image;
    ASSERT_EQ(image.Load(CVornString(cachePath(link))), 0);
    EXPECT_EQ(image.GetWidth(), 20);
    // Without the cookie the same picture is refused.
    EXPECT_EQ(download(std::string(kImg) + "/cookie/pic.png", &message), -101);

    ASSERT_EQ(table.Match(std::string(kImg) + "/x/two", &m), 1);
    EXPECT_EQ(m.ImageUrl, std::string(kImg) + "/gen/24x24-00ff00.png");
    // The server saw the referer of the page fetch.
    bool referer = false;
    for (const std::string& r : fx.sim.requests())
        if (r.find("extract/page.html") != std::string::npos &&
            r.find("\"referer\": \"http://img.example-img.test/\"") != std::string::npos)
            referer = true;
    EXPECT_TRUE(referer);
}
