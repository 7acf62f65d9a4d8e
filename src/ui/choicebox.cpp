#include "choicebox.h"

#include <QComboBox>

void makeChoiceBox(QComboBox *box)
{
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    // Typed text stays as typed: "96" must not become 9600 behind the operator's back.
    box->setCompleter(nullptr);
    box->setCurrentIndex(-1);
    box->setEditText(QString());
}

int selectedEntry(const QComboBox *box)
{
    // QComboBox keeps its current index while the operator types over it; the text field is
    // what the operator sees, so it decides.
    const int current = box->currentIndex();
    if (current >= 0 && box->itemText(current) == box->currentText())
        return current;
    return box->findText(box->currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

QString selectedEntryText(const QComboBox *box)
{
    const int entry = selectedEntry(box);
    return entry < 0 ? QString() : box->itemText(entry);
}
