#include "tavlo_image.h"

#include "vorn_log.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>

#include <cerrno>

namespace {

// Open with the file's own bytes deciding the format (a cached file keeps its URL's extension,
// which need not match what the server sent).
bool openReader(QImageReader& reader, QFile& file, const CVornString& path) {
    file.setFileName(QString::fromLocal8Bit(path.c_str()));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    reader.setDevice(&file);
    reader.setDecideFormatFromContent(true);
    reader.setAllocationLimit(CTavloImage::kAllocationLimitMb);
    return true;
}

} // namespace

int CTavloImage::GetSize(const CVornString& path, int* width, int* height) {
    QFile file;
    QImageReader reader;
    if (!openReader(reader, file, path))
        return ERR_OPEN;
    const QSize size = reader.size();
    if (!size.isValid())
        return reader.canRead() ? ERR_SIZE : ERR_FORMAT;
    if (width)
        *width = size.width();
    if (height)
        *height = size.height();
    return 0;
}

int CTavloImage::decode(const CVornString& path, QSize target) {
    m_bitmap = QImage();
    m_error.clear();
    m_errno = 0;
    QFile file;
    QImageReader reader;
    if (!openReader(reader, file, path)) {
        m_errno = errno;
        m_error = file.errorString();
        return ERR_OPEN;
    }
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > kMaxSide || size.height() > kMaxSide) &&
        !(target.isValid() && target.width() <= kMaxSide && target.height() <= kMaxSide &&
          reader.supportsOption(QImageIOHandler::ScaledSize))) {
        m_error = QString("%1x%2").arg(size.width()).arg(size.height());
        return ERR_MEMORY;
    }
    if (target.isValid() && target != size && reader.supportsOption(QImageIOHandler::ScaledSize))
        reader.setScaledSize(target);
    QImage image = reader.read();
    if (image.isNull()) {
        m_error = reader.errorString();
        VLOG(1, "CTavloImage::decode", "%s: %s", path.c_str(), m_error.toUtf8().constData());
        return reader.error() == QImageReader::InvalidDataError ? ERR_DECODE : ERR_FORMAT;
    }
    if (target.isValid() && image.size() != target)
        image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // Opaque pixels, as the painters expect; transparency goes onto white. A decoder's own
    // opaque format is kept: converting a large picture costs as much as a good part of decoding.
    if (image.hasAlphaChannel()) {
        QImage flat(image.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter p(&flat);
        p.drawImage(0, 0, image);
        p.end();
        m_bitmap = std::move(flat);
    } else if (image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_RGB888) {
        m_bitmap = std::move(image);
    } else {
        m_bitmap = image.convertToFormat(QImage::Format_RGB32);
    }
    if (m_bitmap.isNull())
        return ERR_MEMORY;
    return 0;
}

int CTavloImage::Load(const CVornString& path) {
    return decode(path, QSize());
}

int CTavloImage::LoadScaled(const CVornString& path, int width, int height) {
    if (width <= 0 || height <= 0)
        return ERR_SIZE;
    return decode(path, QSize(width, height));
}

int CTavloImage::LoadFit(const CVornString& path, int width, int height) {
    int w = 0, h = 0;
    int rc = GetSize(path, &w, &h);
    if (rc != 0) {
        m_bitmap = QImage();
        return rc;
    }
    if (w <= 0 || h <= 0 || width <= 0 || height <= 0)
        return ERR_SIZE;
    QSize target;
    if (width < height)
        target = QSize(width, std::max(1, static_cast<int>(int64_t(h) * width / w)));
    else
        target = QSize(std::max(1, static_cast<int>(int64_t(w) * height / h)), height);
    return decode(path, target);
}
