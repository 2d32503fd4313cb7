#include "tavlo_find2ch_dialog.h"

#include "tavlo_bar_util.h"
#include "tavlo_find2ch_fetch.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"
#include "tavlo_subject_view.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

CTavloFind2chDialog::CTavloFind2chDialog(CTavloWindow* frame, QWidget* parent)
    : QWidget(parent), m_frame(frame), m_words(TavloMakeWordCombo(this, "1007")),
      m_sort(new QComboBox(this)),
      m_search(TavloMakeBarButton(this, "1076", QString::fromUtf8("検索"),
                                  QString::fromUtf8("２ちゃんねる検索"))),
      m_close(
          TavloMakeBarButton(this, "1067", QString::fromUtf8("×"), QString::fromUtf8("閉じる"))) {
    m_sort->setObjectName("1095");
    // The order of the service's sort table.
    for (const char* label : {"レス数(昇順)", "レス数(降順)", "作成日(昇順)", "作成日(降順)",
                              "更新日(昇順)", "更新日(降順)"})
        m_sort->addItem(QString::fromUtf8(label));
    m_search->setFixedWidth(m_search->sizeHint().width());
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addWidget(m_words, 1);
    layout->addWidget(m_sort);
    layout->addWidget(m_search);
    layout->addWidget(m_close);
    setAutoFillBackground(true);
    TavloOnEnter(m_words, [this] { OnSearch(); });
    connect(m_search, &QPushButton::clicked, this, [this] { OnSearch(); });
    connect(m_close, &QPushButton::clicked, this, [this] { OnClose(); });
    ReloadList();
}

void CTavloFind2chDialog::ReloadList() {
    CTavloSettings& s = CTavloSettings::Instance();
    TavloFillCombo(m_words, s.HistoryList[CTavloSettings::HISTORY_SEARCHWORD]);
    if (s.SortFind2ch >= 0 && s.SortFind2ch < m_sort->count())
        m_sort->setCurrentIndex(s.SortFind2ch);
}

void CTavloFind2chDialog::OnSearch() {
    CVornString words = TavloSjis(m_words->currentText());
    if (words.IsEmpty() || !m_frame)
        return;
    const int sort = std::max(0, m_sort->currentIndex());
    CTavloSettings::Instance().SetInt("SortFind2ch", sort);
    CVornString url = SearchUrl(words, sort);
    m_frame->SendMessage(TAVLO_WM_FIND2CH, reinterpret_cast<uintptr_t>(&url),
                         reinterpret_cast<intptr_t>(&words));
}

CVornString CTavloFind2chDialog::SearchUrl(const CVornString& words, int sort) {
    return CTavloFind2chFetch::BuildUrl(words, sort, CTavloSubjectView::kFind2chHost);
}

void CTavloFind2chDialog::OnClose() {
    if (m_frame)
        m_frame->SendMessage(TAVLO_WM_FIND2CHBAR, 0, 0);
}

void CTavloFind2chDialog::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    m_words->setFocus();
}

void CTavloFind2chDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        OnClose();
        return;
    }
    QWidget::keyPressEvent(event);
}
