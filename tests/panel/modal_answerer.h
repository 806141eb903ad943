#pragma once

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <functional>
#include <vector>

// What a test saw of a modal box the panel opened.
struct SeenBox {
    QString className;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool overPanel = false;
};

// Answers every message box and About box the moment it is shown, from inside its own modal
// loop, the way a user would: by clicking one of its buttons. Nothing waits for a box to
// appear.
class ModalAnswerer : public QObject {
public:
    // The answer is the button to click; for a box without buttons, anything ends it.
    using Answer = std::function<QMessageBox::StandardButton(const SeenBox&)>;

    explicit ModalAnswerer(Answer answer = [](const SeenBox&) { return QMessageBox::Ok; });
    ~ModalAnswerer() override;

    void SetAnswer(Answer answer) { m_answer = std::move(answer); }
    const std::vector<SeenBox>& Seen() const { return m_seen; }
    int CountOf(const QString& className) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Answer m_answer;
    std::vector<SeenBox> m_seen;
};
