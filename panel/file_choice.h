#pragma once

#include <QString>

class QWidget;

// Asks for a file to write, suggesting `suggestedName` in the user's documents. Empty when the
// user cancels. Qt's own dialog, the same on every desktop.
QString ChooseFileToWrite(QWidget* parent, const QString& title, const QString& suggestedName,
                          const QString& filter);

// Asks for an existing file to read, starting in the user's documents. Empty when the user
// cancels.
QString ChooseFileToRead(QWidget* parent, const QString& title, const QString& filter);
