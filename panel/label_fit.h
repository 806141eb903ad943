#pragma once

class QWidget;

// Widens each shown label of a form whose text, on one line, is wider than the label, so that a
// translated text is shown whole rather than cut. A label whose text fits keeps the form's
// geometry: the forms' own texts are laid out as they were drawn.
void WidenLabelsToFit(QWidget& form);
