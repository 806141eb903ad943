#include "panel/response_box.h"

CResponseBox::CResponseBox(QWidget* parent) : QPlainTextEdit(parent) {}

void CResponseBox::SetText(const QString& text) {
    m_text = text;
    setPlainText(text);
}
