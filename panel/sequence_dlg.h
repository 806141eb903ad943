#pragma once

#include <QDialog>
#include <chrono>

class QLabel;

// Shows how far a running sequence has come; its Stop button, Escape and its close box all end
// the program. A window of its own beside the panel, covering none of its controls, and no
// child of it: a box over the panel blocks the panel and its children, and Stop must work
// whatever box is open there.
class CSequenceDlg : public QDialog {
    Q_OBJECT

public:
    CSequenceDlg(const QString& fileName, const QWidget& panel);

    // Step `step` (from 1) of `steps`, and the time until the program ends.
    void ShowProgress(int step, int steps, std::chrono::milliseconds left);

private:
    QLabel* m_step = nullptr;
    QLabel* m_left = nullptr;
};
