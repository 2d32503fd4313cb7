#pragma once

#include <initializer_list>

class QAction;
class QMenu;

// Adds a command entry: its identifier is kept as the action's data.
QAction* TavloAddCommand(QMenu* menu, int id, const char* label);

struct CTavloMenuEntry {
    int id;
    const char* label; // UTF-8
    bool checkable = false;
};
// Adds the entries in order.
void TavloAddCommands(QMenu* menu, std::initializer_list<CTavloMenuEntry> entries);
// Adds a submenu titled title holding the entries, and gives it.
QMenu* TavloAddSubmenu(QMenu* menu, const char* title,
                       std::initializer_list<CTavloMenuEntry> entries);
// The command identifier of an entry, 0 for entries without one.
int TavloCommandId(const QAction* action);

// MenuNumber: with on, the first twelve entries that have text, in the menu and in every
// submenu counted on its own, get a tab and the keypad label "&1" to "&9", "&0", "&*", "&#"
// appended, unless their text already ends in such a three-character suffix; with off the
// suffix is removed again.
void TavloApplyMenuNumber(QMenu* menu, int on);
