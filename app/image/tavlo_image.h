#pragma once

#include "vorn_string.h"

#include <QImage>
#include <QSize>

// A decoded picture: its size and an opaque bitmap of it. Decoding goes through Qt's image
// readers (GIF, JPEG, PNG, BMP, and WebP where the plugin is installed) under an allocation
// limit, so a header that claims a huge picture is refused instead of exhausting memory.
class CTavloImage {
public:
    // Error codes of the loads (the system error is errno, or 0).
    enum { ERR_OPEN = -1, ERR_FORMAT = -2, ERR_SIZE = -3, ERR_DECODE = -4, ERR_MEMORY = -5 };
    // Largest picture decoded, in megabytes of decoded pixels, and on each side.
    static constexpr int kAllocationLimitMb = 256;
    static constexpr int kMaxSide = 16384;

    // The whole picture at its size; 0, or an error code.
    int Load(const CVornString& path);
    // Its size from the header alone; 0 or an error code.
    static int GetSize(const CVornString& path, int* width, int* height);
    // The picture scaled into width x height: with width < height the width is kept and the
    // height follows the proportions, otherwise the height is kept.
    int LoadFit(const CVornString& path, int width, int height);
    // Scaled to exactly width x height.
    int LoadScaled(const CVornString& path, int width, int height);

    int GetWidth() const { return m_bitmap.width(); }
    int GetHeight() const { return m_bitmap.height(); }
    const QImage& GetBitmap() const { return m_bitmap; }
    bool IsNull() const { return m_bitmap.isNull(); }
    void Clear() { m_bitmap = QImage(); }
    // The reader's text of the last failure.
    const QString& GetErrorString() const { return m_error; }
    int GetSystemError() const { return m_errno; }

private:
    int decode(const CVornString& path, QSize target);

    QImage m_bitmap;
    QString m_error;
    int m_errno = 0;
};
