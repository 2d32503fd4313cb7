#include "tavlo_search_dialog.h"

#include "tavlo_bar_util.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

CTavloSearchDialog::CTavloSearchDialog(CTavloWindow* frame, QWidget* parent)
    : QWidget(parent), m_frame(frame), m_combo(TavloMakeWordCombo(this, "1007")),
      m_forward(
          TavloMakeBarButton(this, "1065", QString::fromUtf8("▼"), QString::fromUtf8("次を検索"))),
      m_backward(
          TavloMakeBarButton(this, "1066", QString::fromUtf8("▲"), QString::fromUtf8("前を検索"))),
      m_backward2(
          TavloMakeBarButton(this, "1076", QString::fromUtf8("△"), QString::fromUtf8("前を検索"))),
      m_close(
          TavloMakeBarButton(this, "1067", QString::fromUtf8("×"), QString::fromUtf8("閉じる"))) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(m_combo, 1);
    layout->addWidget(m_forward);
    layout->addWidget(m_backward);
    layout->addWidget(m_backward2);
    layout->addWidget(m_close);
    setAutoFillBackground(true);
    TavloOnEnter(m_combo, [this] { Send(0); });
    connect(m_forward, &QPushButton::clicked, this, [this] { Send(0); });
    connect(m_backward, &QPushButton::clicked, this, [this] { Send(1); });
    connect(m_backward2, &QPushButton::clicked, this, [this] { Send(1); });
    connect(m_close, &QPushButton::clicked, this, [this] { Close(); });
    ReloadList();
}

void CTavloSearchDialog::ReloadList() {
    TavloFillCombo(m_combo,
                   CTavloSettings::Instance().HistoryList[CTavloSettings::HISTORY_SEARCHWORD]);
}

QPushButton* CTavloSearchDialog::GetButton(int id) const {
    switch (id) {
    case 1065:
        return m_forward;
    case 1066:
        return m_backward;
    case 1076:
        return m_backward2;
    case 1067:
        return m_close;
    default:
        return nullptr;
    }
}

void CTavloSearchDialog::Send(int direction) {
    CVornString word = TavloSjis(m_combo->currentText());
    if (word.IsEmpty() || !m_frame)
        return;
    m_frame->SendMessage(TAVLO_WM_SEARCH, static_cast<uintptr_t>(direction),
                         reinterpret_cast<intptr_t>(&word));
}

void CTavloSearchDialog::Close() {
    if (m_frame)
        m_frame->SendMessage(TAVLO_WM_SEARCHBAR, 0, 0);
}

void CTavloSearchDialog::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_combo->isVisible())
        m_combo->setFocus();
}

void CTavloSearchDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        Close();
        return;
    }
    QWidget::keyPressEvent(event);
}
