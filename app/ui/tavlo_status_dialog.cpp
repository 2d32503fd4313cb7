#include "tavlo_status_dialog.h"

#include "tavlo_platform.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>

#include <algorithm>
#include <cstdint>

CTavloStatusDialog::CTavloStatusDialog(CTavloWindow* frame, QWidget* parent)
    : QWidget(parent), m_frame(frame), m_text(new QLabel(this)),
      m_progress(new QProgressBar(this)) {
    m_text->setObjectName("1033");
    m_progress->setObjectName("1054");
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_progress->setTextVisible(false);
    // Text and bar share the line; both follow the width on resize.
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->addWidget(m_text, 3);
    layout->addWidget(m_progress, 2);
    setAutoFillBackground(true);
}

void CTavloStatusDialog::SetText(const CVornString& text) {
    m_text->setText(TavloQString(text));
}

QString CTavloStatusDialog::GetText() const {
    return m_text->text();
}

int CTavloStatusDialog::ProgressPercent(int done, int total) {
    if (total <= 0 || done <= 0)
        return 0;
    // Wide enough for byte counts near the int limit.
    int64_t percent = static_cast<int64_t>(done) * 100 / total;
    return static_cast<int>(std::min<int64_t>(percent, 100));
}

void CTavloStatusDialog::SetProgress(int done, int total) {
    m_progress->setValue(ProgressPercent(done, total));
}

int CTavloStatusDialog::GetPosition() const {
    return m_progress->value();
}

void CTavloStatusDialog::Cancel() {
    if (m_frame)
        m_frame->SendMessage(TAVLO_WM_STATUSBAR, 0, 0);
}

void CTavloStatusDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        Cancel();
        return;
    }
    QWidget::keyPressEvent(event);
}
