#pragma once

#include <QString>

class QComboBox;

// The drop-down lists behave like the platform's combo boxes: an editable text field over a
// fixed list. Typed text is never added to the list, and text that matches no entry leaves the
// box with no selected entry.
void makeChoiceBox(QComboBox *box);

// The selected position, counted from 0, or -1 when the text field shows no entry.
int selectedEntry(const QComboBox *box);

// The text of the selected entry; empty when there is none.
QString selectedEntryText(const QComboBox *box);
