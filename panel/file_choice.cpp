#include "panel/file_choice.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QStandardPaths>
#include <QStyle>

namespace {

// Icons by kind alone. Qt's own provider tells a file's type from its contents, and reading a
// FIFO, or a link to a terminal, blocks: a directory such as /tmp could hang the dialog.
class CPlainIconProvider : public QAbstractFileIconProvider {
public:
    QIcon icon(IconType type) const override {
        return QApplication::style()->standardIcon(type == Folder ? QStyle::SP_DirIcon
                                                                  : QStyle::SP_FileIcon);
    }
    QIcon icon(const QFileInfo& info) const override { return icon(info.isDir() ? Folder : File); }
    QString type(const QFileInfo& info) const override {
        return info.isDir() ? QFileDialog::tr("Folder") : QFileDialog::tr("File");
    }
};

QString StartingDirectory() {
    QString directory = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (directory.isEmpty() || !QDir(directory).exists()) {
        directory = QDir::homePath();
    }
    return directory;
}

QString ChosenFile(QFileDialog& dialog) {
    CPlainIconProvider icons;
    dialog.setIconProvider(&icons);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // Modal to the window that asks, not to the program: a running sequence's window stays free.
    dialog.setWindowModality(Qt::WindowModal);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

} // namespace

QString ChooseFileToWrite(QWidget* parent, const QString& title, const QString& suggestedName,
                          const QString& filter) {
    QFileDialog dialog(parent, title, QDir(StartingDirectory()).filePath(suggestedName), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.selectFile(suggestedName);
    return ChosenFile(dialog);
}

QString ChooseFileToRead(QWidget* parent, const QString& title, const QString& filter) {
    QFileDialog dialog(parent, title, StartingDirectory(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    return ChosenFile(dialog);
}
