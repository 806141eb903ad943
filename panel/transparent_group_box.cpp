#include "panel/transparent_group_box.h"

CTransparentGroupBox::CTransparentGroupBox(QWidget* parent) : QGroupBox(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}
