#pragma once

#include <QDialog>
#include <chrono>

class QLabel;

// Shows how far a running sequence has come, beside the panel; its Stop button, Escape and its
// close box all end the program.
class CSequenceDlg : public QDialog {
    Q_OBJECT

public:
    CSequenceDlg(const QString& fileName, QWidget* parent = nullptr);

    // Step `step` (from 1) of `steps`, and the time until the program ends.
    void ShowProgress(int step, int steps, std::chrono::milliseconds left);

private:
    QLabel* m_step = nullptr;
    QLabel* m_left = nullptr;
};
