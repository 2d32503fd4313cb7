#pragma once

#include "tavlo_image.h"
#include "tavlo_views.h"

#include <QString>

#include <memory>

class CTavloImageDownloader;
struct CTavloImageDownloadResult;

// View 5: one cached picture, fitted into the window (the default) or at its size with arrow
// keys to scroll; the downloads of image links run here.
class CTavloImageView : public CTavloImageViewBase {
public:
    explicit CTavloImageView(CTavloWindow* frame, QWidget* parent = nullptr);
    ~CTavloImageView() override;

    // The main window's stop request (its cancel flag) for downloads and page fetches.
    void SetStopRequest(std::function<bool()> stop);

    // CTavloImageViewBase
    int OpenImageUrl(const CVornString& url) override;
    bool IsDownloading() const override;
    void ShowText(const CVornString& text) override;
    bool CanShow(const CVornString& url) override;
    void ShowImage(const CVornString& url) override;

    // Loads the cached file of a link (nothing while it downloads).
    void Show(const CVornString& link);
    // Asks, then deletes the shown file and goes back; true when deleted.
    bool DeleteImage();
    bool IsFit() const { return m_fit; }
    void SetFit(bool on);
    const CTavloImage& GetImage() const { return m_image; }
    const QString& GetErrorText() const { return m_error; }
    const CVornString& GetLink() const { return m_link; }
    const CVornString& GetPath() const { return m_path; }
    QPoint GetScroll() const { return QPoint(m_scrollX, m_scrollY); }
    CTavloImageDownloader* GetDownloader() const { return m_downloader.get(); }

    // CTavloMainView
    bool OnKeyDown(int vk, Qt::KeyboardModifiers modifiers) override;
    bool OnCommand(int id) override;
    bool UpdateCommand(int id, bool* enabled, bool* checked) override;
    bool IsBusy() const override { return IsDownloading(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void onDone(const CTavloImageDownloadResult& result);
    void clampScroll();
    void scrollBy(int dx, int dy);

    std::unique_ptr<CTavloImageDownloader> m_downloader;
    std::function<bool()> m_stop;
    CVornString m_link;
    CVornString m_path;
    CTavloImage m_image;
    QString m_error;
    bool m_fit = true;
    int m_scrollX = 0;
    int m_scrollY = 0;
};
