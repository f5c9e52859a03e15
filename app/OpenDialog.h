#pragma once
#include <QString>

class QFileDialog;

namespace pm {

// Runs the "Abrir" dialog: it opens on the last name chosen, that name
// selected in the name field so that typing replaces it, and no popup of
// its name completion outlives it. Returns whether a file was chosen.
bool RunOpenDialog(QFileDialog& dialog, const QString& lastChosen);

// Loads Qt's own Portuguese (Brazil) texts, so the standard dialogs and
// buttons speak the window's language. Returns whether they were found.
bool LoadQtPortuguese();

}  // namespace pm
