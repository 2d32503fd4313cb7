#pragma once

#include "tavlo_text_ctrl.h"
#include "vorn_string.h"

#include <QImage>

#include <string>
#include <unordered_map>
#include <vector>

class CTavloTextLayout;

// The thumbnails of one thread control: the rows reserved below a line with image links show
// slices of the cached pictures, or one icon per picture not downloaded yet.
class CTavloInlineImages {
public:
    // Fill colours of the two icons (0x00BBGGRR): not downloaded, being downloaded.
    static constexpr int kIconColor = 0x00C08040;
    static constexpr int kLoadingColor = 0x0040A0E0;

    // Paints the image row of a run (its first run only); true when the run needs nothing
    // more.
    bool PaintRow(QPainter& p, const TavloTextRun& run, const CTavloTextLayout& layout,
                  int lineHeight, int clientWidth);
    // Forgets thumbnails and links (text cleared or re-rendered).
    void Clear();
    int ThumbnailCount() const { return static_cast<int>(m_thumbs.size()); }

private:
    struct Link {
        CVornString url;
        CVornString path;
    };
    const QImage* thumbnail(const CVornString& path, int width, int height);
    void drawIcon(QPainter& p, int x, int size, bool loading);

    // The links of the line asked last, by its text.
    std::u16string m_lineText;
    std::vector<Link> m_links;
    std::unordered_map<std::string, QImage> m_thumbs;
    int m_thumbHeight = 0;
};
