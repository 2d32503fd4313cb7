#pragma once

#include <QTabBar>

#include <functional>

// The owner-drawn tab strip of the tab containers and of the thread view. Each item carries a
// label and, as item data, the object it stands for. With forward-keys on (every use in the
// program) key presses go on to the parent; with it off the left and right arrows move the
// selection, wrapping at both ends. A selection change is reported to the parent through the
// handler (the parent's WM_APP+10).
class CTavloTabCtrl : public QTabBar {
public:
    explicit CTavloTabCtrl(QWidget* parent = nullptr);

    void SetForwardKeys(int on) { m_forwardKeys = on; }
    int GetForwardKeys() const { return m_forwardKeys; }

    // Appends an item; its index, or -1 when it could not be added.
    int AddItem(const QString& label, void* data);
    void* GetItemData(int index) const;
    void SetItemData(int index, void* data);
    int FindItemData(const void* data) const;

    // Every item this size (the thread tabs: TabWidth by the font height); an empty size sizes
    // items by their labels.
    void SetItemSize(const QSize& size);
    QSize GetItemSize() const { return m_itemSize; }

    // The parent's selection-changed notification; called with the new index.
    void SetSelChangeHandler(std::function<void(int)> handler) {
        m_onSelChange = std::move(handler);
    }

    // Height from the top of the strip to the bottom of its last tab.
    int StripHeight() const;

protected:
    QSize tabSizeHint(int index) const override;
    QSize minimumTabSizeHint(int index) const override { return tabSizeHint(index); }
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int m_forwardKeys = 1;
    QSize m_itemSize;
    std::function<void(int)> m_onSelChange;
};
