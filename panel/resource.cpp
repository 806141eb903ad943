#include "panel/resource.h"

#include <QCoreApplication>
#include <QFile>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <array>

namespace {

struct NamedResource {
    int id;
    const char* path;
};

constexpr std::array kStrings{
    NamedResource{IDS_ABOUTBOX, ":/pelmora/strings/IDS_ABOUTBOX.txt"},
};

// Strings are translated by the text they have in the table. The translation tools read code,
// not the table, so its texts are named here once more; a test holds the two together.
constexpr const char* kStringTableContext = "StringTable";
constexpr std::array kStringTableTexts{
    QT_TRANSLATE_NOOP("StringTable", "バージョン情報 Pelmora(&A)..."),
};

constexpr std::array kBitmaps{
    NamedResource{IDB_LAMP_OFF, ":/pelmora/lamp_off.bmp"},
    NamedResource{IDB_LAMP_ON, ":/pelmora/lamp_on.bmp"},
};

// IDR_MAINFRAME, one picture per size; QIcon picks the nearest for each use.
constexpr std::array kAppIconSizes{
    ":/pelmora/icons/pelmora-16.png",
    ":/pelmora/icons/pelmora-32.png",
    ":/pelmora/icons/pelmora-48.png",
};

template <std::size_t N> QString PathOf(const std::array<NamedResource, N>& table, int id) {
    for (const NamedResource& entry : table) {
        if (entry.id == id) {
            return QString::fromLatin1(entry.path);
        }
    }
    return {};
}

} // namespace

QString LoadResourceString(int id) {
    const QString path = PathOf(kStrings, id);
    if (path.isEmpty()) {
        return {};
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QString text = QString::fromUtf8(file.readAll());
    // A text file ends with a line break, which is not part of the string.
    if (text.endsWith(u'\n')) {
        text.chop(1);
    }
    return QCoreApplication::translate(kStringTableContext, text.toUtf8().constData());
}

std::vector<QString> TranslatableStringTableTexts() {
    std::vector<QString> texts;
    for (const char* text : kStringTableTexts) {
        texts.push_back(QString::fromUtf8(text));
    }
    return texts;
}

QIcon LoadAppIcon() {
    QIcon icon;
    for (const char* path : kAppIconSizes) {
        icon.addFile(QString::fromLatin1(path));
    }
    return icon;
}

QPixmap LoadBitmapResource(int id) {
    const QString path = PathOf(kBitmaps, id);
    return path.isEmpty() ? QPixmap() : QPixmap(path);
}
