#pragma once

#include <QString>
#include <QWidget>

class QLabel;

// The panel's status lines, across the bottom below the template's controls: where the supply
// is and whether the readings are recorded, then the over-current protection's limits or its
// trip. The title says the same, but a window manager cuts a long title; here every word is
// shown, the lines wrapped, and the panel grown when they need more room than they have.
class CPanelStatus : public QWidget {
    Q_OBJECT

public:
    // Adds the lines below `panel`'s controls, which takes their room in height. Call before
    // the panel's size is fixed.
    explicit CPanelStatus(QWidget& panel);

    // `tripped` shows the protection's text as a warning.
    void Show(const QString& connection, const QString& protection, bool tripped);

    QString ConnectionText() const;
    QString ProtectionText() const;

private:
    // Tall enough for what the lines hold, and for no fewer lines than at the start.
    void FitHeight();

    QLabel* m_connection = nullptr;
    QLabel* m_protection = nullptr;
    int m_minimumHeight = 0;
};
