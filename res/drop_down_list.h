#pragma once

#include <QComboBox>

// A drop-down list with an edit field, as the panel's voltage lists are. It tells when its list
// opens and when it closes again; the close is reported once the event that closed the list is
// done, so a choice made by clicking or by Enter is already the current entry when it is read.
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

private:
    bool m_listOpen = false;
};
