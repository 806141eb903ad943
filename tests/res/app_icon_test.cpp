#include "panel/resource.h"

#include <QFile>
#include <QIcon>
#include <QImage>
#include <QtEndian>
#include <array>
#include <gtest/gtest.h>
#include <set>
#include <utility>

namespace {

constexpr std::array kIconSizes{16, 32, 48};

TEST(AppIconTest, HasATransparentPictureInEachSize) {
    const QIcon icon = LoadAppIcon();
    for (const int size : kIconSizes) {
        SCOPED_TRACE(size);
        EXPECT_TRUE(icon.availableSizes().contains(QSize(size, size)));
        const QImage image = icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
        ASSERT_EQ(image.size(), QSize(size, size));
        // The pyramid leaves the top corners empty; the top and the lower left block are solid.
        EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
        EXPECT_EQ(qAlpha(image.pixel(size - 1, 0)), 0);
        EXPECT_EQ(qAlpha(image.pixel(size / 4, size * 3 / 4)), 255);
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 4)), 255);
    }
}

// The Windows icon file: a directory of entries, each a bitmap of twice the icon's height with
// its colour rows followed by the transparency mask rows, both bottom-up.
class IconFileTest : public ::testing::Test {
protected:
    static constexpr int kDirectoryHeaderSize = 6;
    static constexpr int kEntrySize = 16;

    void SetUp() override {
        QFile file(QStringLiteral(PELMORA_ICONS_DIR "/pelmora.ico"));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        m_bytes = file.readAll();
        ASSERT_GE(m_bytes.size(), kDirectoryHeaderSize);
    }

    quint16 U16(qsizetype offset) const {
        return qFromLittleEndian<quint16>(m_bytes.constData() + offset);
    }
    quint32 U32(qsizetype offset) const {
        return qFromLittleEndian<quint32>(m_bytes.constData() + offset);
    }

    QByteArray m_bytes;
};

TEST_F(IconFileTest, HoldsEachSizeInSixteenAnd256ColoursAndTrueColourWithMasks) {
    EXPECT_EQ(U16(0), 0);
    EXPECT_EQ(U16(2), 1) << "an icon, not a cursor";
    const int count = U16(4);
    ASSERT_EQ(count, 9);
    ASSERT_GE(m_bytes.size(), kDirectoryHeaderSize + count * kEntrySize);

    std::set<std::pair<int, int>> images;
    for (int i = 0; i < count; ++i) {
        const qsizetype entry = kDirectoryHeaderSize + i * kEntrySize;
        const int size = static_cast<quint8>(m_bytes[entry]);
        const int bitCount = U16(entry + 6);
        const quint32 length = U32(entry + 8);
        const quint32 offset = U32(entry + 12);
        SCOPED_TRACE(testing::Message() << size << " px, " << bitCount << " bits");
        images.insert({size, bitCount});
        ASSERT_LE(qsizetype{offset} + qsizetype{length}, m_bytes.size());

        EXPECT_EQ(static_cast<int>(U32(offset + 4)), size);
        EXPECT_EQ(static_cast<int>(U32(offset + 8)), 2 * size) << "colour rows and mask rows";
        EXPECT_EQ(U16(offset + 14), bitCount);
        EXPECT_EQ(U32(offset + 16), 0U) << "uncompressed";

        const int headerSize = static_cast<int>(U32(offset));
        const int paletteSize = bitCount <= 8 ? (1 << bitCount) * 4 : 0;
        const int colourRow = (size * bitCount + 31) / 32 * 4;
        const int maskRow = (size + 31) / 32 * 4;
        ASSERT_EQ(static_cast<int>(length),
                  headerSize + paletteSize + (colourRow + maskRow) * size);

        // The mask's top row is stored last: its first pixel is a transparent corner. The
        // middle of a lower block is opaque.
        const qsizetype mask =
            static_cast<qsizetype>(offset) + headerSize + paletteSize + colourRow * size;
        const auto maskBit = [&](int x, int y) {
            const auto byte = static_cast<quint8>(m_bytes[mask + (size - 1 - y) * maskRow + x / 8]);
            return (byte >> (7 - x % 8)) & 1;
        };
        EXPECT_EQ(maskBit(0, 0), 1);
        EXPECT_EQ(maskBit(size / 4, size * 3 / 4), 0);
    }
    const std::set<std::pair<int, int>> expected{{48, 4},  {48, 8}, {48, 24}, {32, 4}, {32, 8},
                                                 {32, 24}, {16, 4}, {16, 8},  {16, 24}};
    EXPECT_EQ(images, expected);
}

} // namespace
