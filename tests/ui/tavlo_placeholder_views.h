#pragma once

#include "tavlo_views.h"

#include <QString>

#include <utility>
#include <vector>

// Stand-ins for the main views, for the tests of the frame and of single views. Each paints its
// caption and keeps the requests it was given, so view switching, history and keys can be
// checked without the real views' files and network.

// The requests a stand-in received, newest last, and its painting.
class CTavloPlaceholder {
public:
    explicit CTavloPlaceholder(QString caption) : m_caption(std::move(caption)) {}
    const QString& Caption() const { return m_caption; }
    const std::vector<QString>& Requests() const { return m_requests; }
    QString LastRequest() const { return m_requests.empty() ? QString() : m_requests.back(); }

protected:
    void note(QWidget* self, const QString& request);
    void paint(QWidget* self);

private:
    QString m_caption;
    std::vector<QString> m_requests;
};

class CTavloBoardPlaceholder : public CTavloBoardViewBase, public CTavloPlaceholder {
public:
    explicit CTavloBoardPlaceholder(CTavloWindow* frame, QWidget* parent = nullptr);
    void Search(const CVornString& word, int direction) override;

protected:
    void paintEvent(QPaintEvent*) override { paint(this); }
};

class CTavloSubjectPlaceholder : public CTavloSubjectViewBase, public CTavloPlaceholder {
public:
    explicit CTavloSubjectPlaceholder(CTavloWindow* frame, QWidget* parent = nullptr);
    int OpenBoard(const CVornString& name, const CVornString& boardUrl,
                  const CVornString& board) override;
    bool HasBoard() const override { return !m_boardUrl.IsEmpty(); }
    void Search(const CVornString& word, int direction) override;
    int Find2ch(const CVornString& url, const CVornString& words) override;
    QString Title() const override { return m_title; }

protected:
    void paintEvent(QPaintEvent*) override { paint(this); }

private:
    CVornString m_boardUrl;
    QString m_title;
};

// Keeps the threads it was asked to open as its "tabs", so the frame's menu state and the
// thread menu work.
class CTavloThreadPlaceholder : public CTavloThreadViewBase, public CTavloPlaceholder {
public:
    explicit CTavloThreadPlaceholder(CTavloWindow* frame, QWidget* parent = nullptr);
    int OpenThread(const CVornString& title, const CVornString& key, const CVornString& boardUrl,
                   const CVornString& board, int number) override;
    int GetTabCount() const override { return static_cast<int>(m_tabs.size()); }
    bool JumpNumber(int number) override;
    bool GetCurrentBoard(CVornString* name, CVornString* boardUrl, CVornString* board) override;
    std::vector<QString> ThreadTitles() const override;
    void SelectTab(int index) override;
    void Search(const CVornString& word, int direction) override;
    QString Title() const override;

protected:
    void paintEvent(QPaintEvent*) override { paint(this); }

private:
    struct Tab {
        CVornString title, key, boardUrl, board;
    };
    std::vector<Tab> m_tabs;
    int m_current = -1;
};

class CTavloListPlaceholder : public CTavloListViewBase, public CTavloPlaceholder {
public:
    CTavloListPlaceholder(int container, const QString& caption, CTavloWindow* frame,
                          QWidget* parent = nullptr);
    void Search(const CVornString& word, int direction) override;
    void Reload() override;
    void RefreshLogPath(const CVornString& logPath) override;

protected:
    void paintEvent(QPaintEvent*) override { paint(this); }
};

class CTavloImagePlaceholder : public CTavloImageViewBase, public CTavloPlaceholder {
public:
    explicit CTavloImagePlaceholder(CTavloWindow* frame, QWidget* parent = nullptr);
    void ShowText(const CVornString& text) override;

protected:
    void paintEvent(QPaintEvent*) override { paint(this); }
};
