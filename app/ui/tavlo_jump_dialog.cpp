#include "tavlo_jump_dialog.h"

#include "tavlo_bar_util.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

CTavloJumpDialog::CTavloJumpDialog(CTavloWindow* frame, QWidget* parent)
    : QWidget(parent), m_frame(frame), m_combo(TavloMakeWordCombo(this, "1007")),
      m_ok(TavloMakeBarButton(this, "1", QString(), QString::fromUtf8("移動"))),
      m_cancel(TavloMakeBarButton(this, "2", QString(), QString::fromUtf8("閉じる"))) {
    m_ok->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    m_cancel->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    if (m_ok->icon().isNull())
        m_ok->setText(QString::fromUtf8("→"));
    if (m_cancel->icon().isNull())
        m_cancel->setText(QString::fromUtf8("×"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(m_combo, 1);
    layout->addWidget(m_ok);
    layout->addWidget(m_cancel);
    setAutoFillBackground(true);
    TavloOnEnter(m_combo, [this] { OnOK(); });
    connect(m_ok, &QPushButton::clicked, this, [this] { OnOK(); });
    connect(m_cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
    ReloadList();
    updateIcons();
}

void CTavloJumpDialog::ReloadList() {
    TavloFillCombo(m_combo, CTavloSettings::Instance().HistoryList[CTavloSettings::HISTORY_JUMP]);
}

void CTavloJumpDialog::OnOK() {
    CVornString text = TavloSjis(m_combo->currentText());
    if (text.IsEmpty() || !m_frame)
        return;
    m_frame->SendMessage(TAVLO_WM_JUMP, 0, reinterpret_cast<intptr_t>(&text));
}

void CTavloJumpDialog::OnCancel() {
    if (m_frame)
        m_frame->SendMessage(TAVLO_WM_JUMPBAR, 0, 0);
}

int CTavloJumpDialog::IconSize() const {
    return m_combo->height() < 32 ? 16 : 32;
}

void CTavloJumpDialog::updateIcons() {
    const QSize size(IconSize(), IconSize());
    m_ok->setIconSize(size);
    m_cancel->setIconSize(size);
}

void CTavloJumpDialog::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_combo->setFocus();
    m_combo->lineEdit()->selectAll();
}

void CTavloJumpDialog::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateIcons();
}

void CTavloJumpDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        OnCancel();
        return;
    }
    QWidget::keyPressEvent(event);
}
