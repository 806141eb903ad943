#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
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
    // The box itself, while it is up.
    QPointer<QDialog> dialog;
};

// Answers every message box and About box the moment it is shown, from inside its own modal
// loop, the way a user would: by clicking one of its buttons. Nothing waits for a box to
// appear. An answer of NoButton leaves the box open, for the test to look at what goes on
// behind it and to answer it later.
class ModalAnswerer : public QObject {
public:
    // The answer is the button to click; for a box without buttons, anything ends it.
    using Answer = std::function<QMessageBox::StandardButton(const SeenBox&)>;

    explicit ModalAnswerer(Answer answer = [](const SeenBox&) { return QMessageBox::Ok; });

    // Answers a file dialog by choosing `path`, a question whether to replace it with yes, and
    // every other box with OK.
    static Answer ChoosingFile(const QString& path);
    ~ModalAnswerer() override;

    void SetAnswer(Answer answer) { m_answer = std::move(answer); }
    const std::vector<SeenBox>& Seen() const { return m_seen; }
    int CountOf(const QString& className) const;
    // The last box shown, while it exists.
    QDialog* LastBox() const { return m_lastBox; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Answer m_answer;
    std::vector<SeenBox> m_seen;
    QPointer<QDialog> m_lastBox;
};
