#include "panel/resource.h"

#include <QColor>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QtEndian>
#include <array>
#include <gtest/gtest.h>

namespace {

constexpr int kLampSize = 25;
// First and last pixel of the disc's bounding square, in both directions.
constexpr int kDiscFirst = 2;
constexpr int kDiscLast = 21;
const QColor kBackground(231, 231, 214);

struct Lamp {
    int id;
    const char* path;
    QColor disc;
    QColor outline;
};

const std::array kLamps{
    Lamp{IDB_LAMP_OFF, ":/pelmora/lamp_off.bmp", QColor(178, 178, 178), QColor(0, 0, 0)},
    Lamp{IDB_LAMP_ON, ":/pelmora/lamp_on.bmp", QColor(255, 0, 0), QColor(4, 4, 4)},
};

// Fields of the bitmap's file and information headers, by byte offset.
constexpr int kPixelDataOffsetField = 10;
constexpr int kInfoHeaderSizeField = 14;
constexpr int kWidthField = 18;
constexpr int kHeightField = 22;
constexpr int kBitCountField = 28;
constexpr int kCompressionField = 30;
constexpr int kColoursUsedField = 46;
constexpr int kFileHeaderSize = 14;
constexpr int kPaletteEntrySize = 4;

qint32 Field32(const QByteArray& bytes, int offset) {
    return qFromLittleEndian<qint32>(bytes.constData() + offset);
}

quint16 Field16(const QByteArray& bytes, int offset) {
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

QImage LampImage(const Lamp& lamp) {
    return LoadBitmapResource(lamp.id).toImage().convertToFormat(QImage::Format_RGB32);
}

bool InBackground(const QImage& image, int x, int y) {
    return !image.rect().contains(x, y) || image.pixelColor(x, y) == kBackground;
}

TEST(LampBitmapTest, AreUncompressedBottomUpEightBitBitmapsWithFullColourTables) {
    for (const Lamp& lamp : kLamps) {
        SCOPED_TRACE(lamp.path);
        QFile file(QString::fromLatin1(lamp.path));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        ASSERT_GE(bytes.size(), kColoursUsedField + 4);
        EXPECT_TRUE(bytes.startsWith("BM"));
        EXPECT_EQ(Field32(bytes, kWidthField), kLampSize);
        EXPECT_EQ(Field32(bytes, kHeightField), kLampSize) << "positive height: bottom-up rows";
        EXPECT_EQ(Field16(bytes, kBitCountField), 8);
        EXPECT_EQ(Field32(bytes, kCompressionField), 0);
        const qint32 coloursUsed = Field32(bytes, kColoursUsedField);
        EXPECT_TRUE(coloursUsed == 256 || coloursUsed == 0) << coloursUsed;
        const qint32 paletteBytes = Field32(bytes, kPixelDataOffsetField) - kFileHeaderSize -
                                    Field32(bytes, kInfoHeaderSizeField);
        EXPECT_EQ(paletteBytes, 256 * kPaletteEntrySize);
    }
}

TEST(LampBitmapTest, ShowAnOutlinedDiscInItsSquareOnTheBackground) {
    for (const Lamp& lamp : kLamps) {
        SCOPED_TRACE(lamp.path);
        EXPECT_EQ(LoadBitmapResource(lamp.id).devicePixelRatio(), 1.0) << "drawn pixel for pixel";
        const QImage image = LampImage(lamp);
        ASSERT_EQ(image.size(), QSize(kLampSize, kLampSize));

        QRect discBounds;
        for (int y = 0; y < kLampSize; ++y) {
            for (int x = 0; x < kLampSize; ++x) {
                if (InBackground(image, x, y)) {
                    continue;
                }
                discBounds |= QRect(x, y, 1, 1);
                // A one-pixel outline: exactly the disc's pixels that touch the background.
                const bool onEdge = InBackground(image, x - 1, y) ||
                                    InBackground(image, x + 1, y) ||
                                    InBackground(image, x, y - 1) || InBackground(image, x, y + 1);
                EXPECT_EQ(image.pixelColor(x, y), onEdge ? lamp.outline : lamp.disc)
                    << "at " << x << "," << y;
            }
        }
        EXPECT_EQ(discBounds, QRect(QPoint(kDiscFirst, kDiscFirst), QPoint(kDiscLast, kDiscLast)));
        // Round, not square: the corners of the bounding square are background.
        EXPECT_TRUE(InBackground(image, kDiscFirst, kDiscFirst));
        EXPECT_TRUE(InBackground(image, kDiscLast, kDiscLast));
    }
}

TEST(LampBitmapTest, OffAndOnDifferOnlyInTheDiscsColours) {
    const QImage off = LampImage(kLamps[0]);
    const QImage on = LampImage(kLamps[1]);
    ASSERT_EQ(off.size(), on.size());
    for (int y = 0; y < off.height(); ++y) {
        for (int x = 0; x < off.width(); ++x) {
            const QColor offColour = off.pixelColor(x, y);
            const QColor expectedOn = offColour == kLamps[0].disc      ? kLamps[1].disc
                                      : offColour == kLamps[0].outline ? kLamps[1].outline
                                                                       : offColour;
            EXPECT_EQ(on.pixelColor(x, y), expectedOn) << "at " << x << "," << y;
        }
    }
}

} // namespace
