#include "tests/panel/modal_answerer.h"

#include "panel/supply_panel_dlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFileDialog>
#include <QMetaObject>
#include <QPointer>

ModalAnswerer::ModalAnswerer(Answer answer) : m_answer(std::move(answer)) {
    qApp->installEventFilter(this);
}

ModalAnswerer::~ModalAnswerer() {
    qApp->removeEventFilter(this);
}

ModalAnswerer::Answer ModalAnswerer::ChoosingFile(const QString& path) {
    return [path](const SeenBox& box) {
        auto* files = qobject_cast<QFileDialog*>(box.dialog.data());
        if (!files) {
            // "Replace the file?" is answered yes: the test chose it.
            return box.buttons.testFlag(QMessageBox::Yes) ? QMessageBox::Yes : QMessageBox::Ok;
        }
        QPointer<QFileDialog> target(files);
        QMetaObject::invokeMethod(
            files,
            [target, path] {
                if (target) {
                    target->selectFile(path);
                    static_cast<QDialog*>(target.data())->accept();
                }
            },
            Qt::QueuedConnection);
        return QMessageBox::NoButton;
    };
}

int ModalAnswerer::CountOf(const QString& className) const {
    int count = 0;
    for (const auto& box : m_seen) {
        count += box.className == className ? 1 : 0;
    }
    return count;
}

bool ModalAnswerer::eventFilter(QObject* watched, QEvent* event) {
    auto* dialog = qobject_cast<QDialog*>(watched);
    if (event->type() != QEvent::Show || !dialog || qobject_cast<CSupplyPanelDlg*>(dialog)) {
        return false;
    }
    SeenBox seen;
    seen.className = QString::fromLatin1(dialog->metaObject()->className());
    seen.title = dialog->windowTitle();
    seen.overPanel = qobject_cast<CSupplyPanelDlg*>(dialog->parentWidget()) != nullptr;
    auto* box = qobject_cast<QMessageBox*>(dialog);
    if (box) {
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
    }
    seen.dialog = dialog;
    m_seen.push_back(seen);
    m_lastBox = dialog;
    const auto answer = m_answer(seen);
    if (answer == QMessageBox::NoButton) {
        return false;
    }
    QPointer<QDialog> target(dialog);
    QMetaObject::invokeMethod(
        dialog,
        [target, answer, box] {
            if (!target) {
                return;
            }
            if (box && box->button(answer)) {
                box->button(answer)->click();
            } else {
                target->reject();
            }
        },
        Qt::QueuedConnection);
    return false;
}
