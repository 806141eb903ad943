#pragma once

#include <QGroupBox>

// The group boxes of the forms are not the parents of the controls they frame: like Windows
// group boxes they are siblings created after them, so they lie on top. A Windows group box
// lets the mouse through to what lies below it; this one does the same, or the lists and boxes
// it frames could not be clicked.
class CTransparentGroupBox : public QGroupBox {
    Q_OBJECT

public:
    explicit CTransparentGroupBox(QWidget* parent = nullptr);
};
