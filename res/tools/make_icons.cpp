// Remakes the application icon from its two drawings in the icons directory named by the only
// argument: pelmora.svg (full colour) and pelmora-16colour.svg (for 16-colour displays). Writes
// pelmora-48.png, pelmora-32.png and pelmora-16.png with transparency for the desktop and the
// Qt resources, and pelmora.ico for Windows: each size in 16 colours, 256 colours and 24-bit
// colour, every image with its transparency mask.
#include <QByteArray>
#include <QDir>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QSaveFile>
#include <QSvgRenderer>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <cstdio>
#include <utility>

namespace {

constexpr std::array kSizes{48, 32, 16};
constexpr int kSixteenColourBits = 4;
constexpr int kPaletteBits = 8;
constexpr int kTrueColourBits = 24;

// Partly covered pixels at or above this alpha are drawn; the mask hides the rest.
constexpr int kOpaqueAlpha = 128;

constexpr int kInfoHeaderSize = 40;
constexpr int kDirectoryHeaderSize = 6;
constexpr int kDirectoryEntrySize = 16;
constexpr quint16 kIconResourceType = 1;

// The colours of a 16-colour display, in the order of its palette.
constexpr std::array<QRgb, 16> kSixteenColours{
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};
constexpr int kIndexedColoursMax = 256;
// Hidden pixels are stored black, so that the mask alone decides what shows through.
constexpr QRgb kHiddenColour = 0x000000;

QImage Render(QSvgRenderer& drawing, int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    drawing.render(&painter);
    return image;
}

bool Shown(QRgb pixel) {
    return qAlpha(pixel) >= kOpaqueAlpha;
}

// The palette of a 256-colour image: black for the hidden pixels, then the colours the image
// uses most.
QList<QRgb> PopularColours(const QImage& image) {
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (Shown(pixel)) {
                ++counts[pixel | 0xFF000000U];
            }
        }
    }
    QList<std::pair<int, QRgb>> ranked;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        ranked.append({it.value(), it.key()});
    }
    std::sort(ranked.begin(), ranked.end(), std::greater<>());
    QList<QRgb> palette{kHiddenColour | 0xFF000000U};
    for (const auto& [count, colour] : ranked) {
        if (palette.size() == kIndexedColoursMax) {
            break;
        }
        if (!palette.contains(colour)) {
            palette.append(colour);
        }
    }
    return palette;
}

int NearestIndex(const QList<QRgb>& palette, QRgb colour) {
    int best = 0;
    int bestDistance = -1;
    for (int i = 0; i < palette.size(); ++i) {
        const int dr = qRed(palette[i]) - qRed(colour);
        const int dg = qGreen(palette[i]) - qGreen(colour);
        const int db = qBlue(palette[i]) - qBlue(colour);
        const int distance = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    return best;
}

void Put16(QByteArray& out, quint16 value) {
    const quint16 little = qToLittleEndian(value);
    out.append(reinterpret_cast<const char*>(&little), sizeof little);
}

void Put32(QByteArray& out, quint32 value) {
    const quint32 little = qToLittleEndian(value);
    out.append(reinterpret_cast<const char*>(&little), sizeof little);
}

int RowBytes(int width, int bitCount) {
    return (width * bitCount + 31) / 32 * 4;
}

// One icon image as Windows stores it: a bitmap of twice the height, its colour rows followed
// by the rows of the mask, both bottom-up; a mask bit of 1 lets the background through.
QByteArray IconImage(const QImage& image, int bitCount, const QList<QRgb>& palette) {
    const int size = image.width();
    const int colourRowBytes = RowBytes(size, bitCount);
    const int maskRowBytes = RowBytes(size, 1);
    const int paletteEntries = bitCount <= kPaletteBits ? 1 << bitCount : 0;

    QByteArray out;
    Put32(out, kInfoHeaderSize);
    Put32(out, static_cast<quint32>(size));
    Put32(out, static_cast<quint32>(2 * size));
    Put16(out, 1); // planes
    Put16(out, static_cast<quint16>(bitCount));
    Put32(out, 0); // uncompressed
    Put32(out, static_cast<quint32>((colourRowBytes + maskRowBytes) * size));
    out.append(4 * 4, '\0'); // resolution and colour counts: not used in icons
    for (int i = 0; i < paletteEntries; ++i) {
        const QRgb colour = i < palette.size() ? palette[i] : kHiddenColour;
        for (const int channel : {qBlue(colour), qGreen(colour), qRed(colour), 0}) {
            out.append(static_cast<char>(channel));
        }
    }

    for (int y = size - 1; y >= 0; --y) {
        QByteArray row(colourRowBytes, '\0');
        for (int x = 0; x < size; ++x) {
            const QRgb pixel = image.pixel(x, y);
            const QRgb colour = Shown(pixel) ? pixel : kHiddenColour;
            if (bitCount == kTrueColourBits) {
                row[3 * x] = static_cast<char>(qBlue(colour));
                row[3 * x + 1] = static_cast<char>(qGreen(colour));
                row[3 * x + 2] = static_cast<char>(qRed(colour));
            } else if (bitCount == kPaletteBits) {
                row[x] = static_cast<char>(NearestIndex(palette, colour));
            } else {
                const int shift = x % 2 == 0 ? 4 : 0;
                row[x / 2] =
                    static_cast<char>(row[x / 2] | (NearestIndex(palette, colour) << shift));
            }
        }
        out.append(row);
    }
    for (int y = size - 1; y >= 0; --y) {
        QByteArray row(maskRowBytes, '\0');
        for (int x = 0; x < size; ++x) {
            if (!Shown(image.pixel(x, y))) {
                row[x / 8] = static_cast<char>(row[x / 8] | 0x80 >> (x % 8));
            }
        }
        out.append(row);
    }
    return out;
}

struct IconEntry {
    int size;
    int bitCount;
    QByteArray image;
};

QByteArray IconFile(const QList<IconEntry>& entries) {
    QByteArray out;
    Put16(out, 0); // reserved
    Put16(out, kIconResourceType);
    Put16(out, static_cast<quint16>(entries.size()));
    auto offset = static_cast<quint32>(kDirectoryHeaderSize + kDirectoryEntrySize * entries.size());
    for (const IconEntry& entry : entries) {
        // The directory counts colours in a byte: 0 stands for 256 colours or more.
        const int colourCount = entry.bitCount == kSixteenColourBits ? 1 << kSixteenColourBits : 0;
        out.append(static_cast<char>(entry.size));
        out.append(static_cast<char>(entry.size));
        out.append(static_cast<char>(colourCount));
        out.append('\0'); // reserved
        Put16(out, 1);    // planes
        Put16(out, static_cast<quint16>(entry.bitCount));
        Put32(out, static_cast<quint32>(entry.image.size()));
        Put32(out, offset);
        offset += static_cast<quint32>(entry.image.size());
    }
    for (const IconEntry& entry : entries) {
        out.append(entry.image);
    }
    return out;
}

bool Write(const QString& path, const QByteArray& data) {
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size() && file.commit();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: make_icons <icons directory>\n", stderr);
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    QSvgRenderer fullColour(dir.filePath(QStringLiteral("pelmora.svg")));
    QSvgRenderer sixteenColour(dir.filePath(QStringLiteral("pelmora-16colour.svg")));
    if (!fullColour.isValid() || !sixteenColour.isValid()) {
        std::fputs("make_icons: cannot read the icon drawings\n", stderr);
        return 1;
    }
    const QList<QRgb> sixteenPalette(kSixteenColours.begin(), kSixteenColours.end());

    QList<IconEntry> entries;
    for (const int size : kSizes) {
        const QImage picture = Render(fullColour, size);
        if (!picture.save(dir.filePath(QStringLiteral("pelmora-%1.png").arg(size)))) {
            std::fputs("make_icons: cannot write a PNG picture\n", stderr);
            return 1;
        }
        entries.append(
            {size, kSixteenColourBits,
             IconImage(Render(sixteenColour, size), kSixteenColourBits, sixteenPalette)});
        entries.append(
            {size, kPaletteBits, IconImage(picture, kPaletteBits, PopularColours(picture))});
        entries.append({size, kTrueColourBits, IconImage(picture, kTrueColourBits, {})});
    }
    if (!Write(dir.filePath(QStringLiteral("pelmora.ico")), IconFile(entries))) {
        std::fputs("make_icons: cannot write pelmora.ico\n", stderr);
        return 1;
    }
    return 0;
}
