#pragma once

#include "vorn_array.h"

#include <QString>

class QComboBox;
class QPushButton;
class QWidget;

// Pieces shared by the one-line bars of the main window.

// An editable word list that never adds what is typed on its own (the history does).
QComboBox* TavloMakeWordCombo(QWidget* parent, const char* id);
// A small button that Enter presses as well as Space.
QPushButton* TavloMakeBarButton(QWidget* parent, const char* id, const QString& text,
                                const QString& tip);
// Empties the list and fills it with board-text entries; the first becomes the text.
void TavloFillCombo(QComboBox* combo, const CVornDataArray& entries);
