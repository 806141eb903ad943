#include "panel/label_fit.h"

#include <QLabel>

void WidenLabelsToFit(QWidget& form) {
    for (auto* label : form.findChildren<QLabel*>()) {
        if (label->isHidden()) {
            continue;
        }
        const int missing =
            label->fontMetrics().horizontalAdvance(label->text()) - label->contentsRect().width();
        if (missing > 0) {
            label->resize(label->width() + missing, label->height());
        }
    }
}
