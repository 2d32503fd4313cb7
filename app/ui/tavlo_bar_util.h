#pragma once

#include "vorn_array.h"

#include <QString>

#include <functional>

class QComboBox;
class QPushButton;
class QWidget;

// Pieces shared by the one-line bars of the main window.

// An editable word list that never adds what is typed on its own (the history does).
QComboBox* TavloMakeWordCombo(QWidget* parent, const char* id);
// A small button that Enter presses as well as Space.
QPushButton* TavloMakeBarButton(QWidget* parent, const char* id, const QString& text,
                                const QString& tip);
// Enter in the word list runs action once (the key is taken, so it does not travel on to the
// combo box and back to its line edit).
void TavloOnEnter(QComboBox* combo, std::function<void()> action);
// Selects the whole text, so that what is typed next replaces the last entry.
void TavloSelectAll(QComboBox* combo);
// Empties the list and fills it with board-text entries; the first becomes the text.
void TavloFillCombo(QComboBox* combo, const CVornDataArray& entries);
