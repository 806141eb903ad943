#pragma once

#include <QPlainTextEdit>

// The multi-line box that receives every reply from the supply. A text document turns a
// carriage return into a line break, but a reply must be kept exactly as it came, carriage
// return included, so the box holds the text it was given beside what it shows.
class CResponseBox : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit CResponseBox(QWidget* parent = nullptr);

    void SetText(const QString& text);
    const QString& Text() const { return m_text; }

private:
    QString m_text;
};
