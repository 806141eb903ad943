#pragma once

#include <QComboBox>

// A drop-down list with an edit field, as the panel's voltage lists are. It tells when its list
// opens and when it closes again; the close is reported once the event that closed the list is
// done, so a choice made by clicking or by Enter is already the current entry when it is read.
// The field shows the current entry and is not typed into: only a choice changes the entry,
// from the open list, or one step at a time with the arrow keys or with the wheel over the
// focused list. Every other key is kept from the dialog, so that Return in the field never
// presses the dialog's default button; Tab and Escape go on to the dialog.
// Its drop-down button is about as narrow as a Windows one: the layout gives the lists the
// width of a Windows list, and behind a wider button the field would lose the start of a text
// like "-1.5V", its minus sign.
class CDropDownList : public QComboBox {
    Q_OBJECT

public:
    explicit CDropDownList(QWidget* parent = nullptr);

    void showPopup() override;
    void hidePopup() override;

signals:
    void dropDown();
    void closeUp();
    // With the list closed, the user stepped to the next or previous entry, now current.
    void stepped();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void Step(int direction);

    bool m_listOpen = false;
    // Wheel turning not yet worth a whole step, as fine-grained wheels and touchpads send it.
    int m_pendingWheelAngle = 0;
};
