// Writes the panel's two lamp pictures, lamp_off.bmp and lamp_on.bmp, into the directory named
// by the only argument: 25 x 25 pixels, 8 bits per pixel with a 256-entry colour table,
// uncompressed, a disc with a one-pixel outline on a plain background.
#include <array>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int kPictureSize = 25;
// First and last pixel of the disc's bounding square, in both directions.
constexpr int kDiscFirst = 2;
constexpr int kDiscLast = 21;

constexpr std::uint16_t kBitsPerPixel = 8;
constexpr std::uint32_t kPaletteEntries = 256;
constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;
constexpr std::uint32_t kPaletteEntrySize = 4;
constexpr std::uint32_t kRowAlignment = 4;
constexpr std::uint32_t kUncompressed = 0;

struct Rgb {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};

constexpr Rgb kBackground{231, 231, 214};

struct Lamp {
    const char* fileName;
    Rgb disc;
    Rgb outline;
};

constexpr std::array kLamps{
    Lamp{"lamp_off.bmp", {178, 178, 178}, {0, 0, 0}},
    Lamp{"lamp_on.bmp", {255, 0, 0}, {4, 4, 4}},
};

// Both pictures use the same pixels; only the colours behind these palette entries differ.
enum PaletteIndex : std::uint8_t { kBackgroundIndex = 0, kDiscIndex = 1, kOutlineIndex = 2 };

bool InDisc(int x, int y) {
    constexpr double kCentre = (kDiscFirst + kDiscLast + 1) / 2.0;
    constexpr double kRadius = (kDiscLast + 1 - kDiscFirst) / 2.0;
    const double dx = x + 0.5 - kCentre;
    const double dy = y + 0.5 - kCentre;
    return dx * dx + dy * dy <= kRadius * kRadius;
}

std::uint8_t IndexAt(int x, int y) {
    if (!InDisc(x, y)) {
        return kBackgroundIndex;
    }
    const bool onEdge =
        !InDisc(x - 1, y) || !InDisc(x + 1, y) || !InDisc(x, y - 1) || !InDisc(x, y + 1);
    return onEdge ? kOutlineIndex : kDiscIndex;
}

void Put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFFU));
    out.push_back(static_cast<std::uint8_t>(value >> 8U));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    Put16(out, static_cast<std::uint16_t>(value & 0xFFFFU));
    Put16(out, static_cast<std::uint16_t>(value >> 16U));
}

void PutColour(std::vector<std::uint8_t>& out, Rgb colour) {
    out.insert(out.end(), {colour.blue, colour.green, colour.red, 0});
}

std::vector<std::uint8_t> LampBitmap(const Lamp& lamp) {
    constexpr auto kSize = static_cast<std::uint32_t>(kPictureSize);
    constexpr std::uint32_t kRowStride =
        (kSize + kRowAlignment - 1) / kRowAlignment * kRowAlignment;
    constexpr std::uint32_t kPixelOffset =
        kFileHeaderSize + kInfoHeaderSize + kPaletteEntries * kPaletteEntrySize;
    constexpr std::uint32_t kImageSize = kRowStride * kSize;

    std::vector<std::uint8_t> out{'B', 'M'};
    Put32(out, kPixelOffset + kImageSize);
    Put32(out, 0); // reserved
    Put32(out, kPixelOffset);

    Put32(out, kInfoHeaderSize);
    Put32(out, kSize);
    Put32(out, kSize); // positive height: the rows are stored bottom-up
    Put16(out, 1);     // planes
    Put16(out, kBitsPerPixel);
    Put32(out, kUncompressed);
    Put32(out, kImageSize);
    Put32(out, 0); // no preferred resolution
    Put32(out, 0);
    Put32(out, kPaletteEntries);
    Put32(out, 0); // all colours are important

    PutColour(out, kBackground);
    PutColour(out, lamp.disc);
    PutColour(out, lamp.outline);
    out.resize(kPixelOffset, 0);

    for (int y = kPictureSize - 1; y >= 0; --y) {
        for (int x = 0; x < kPictureSize; ++x) {
            out.push_back(IndexAt(x, y));
        }
        out.resize(out.size() + (kRowStride - kSize), 0);
    }
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_lamps <output directory>\n";
        return 2;
    }
    for (const Lamp& lamp : kLamps) {
        const std::string path = std::string(argv[1]) + "/" + lamp.fileName;
        const std::vector<std::uint8_t> bitmap = LampBitmap(lamp);
        std::ofstream file(path, std::ios::binary);
        file.write(reinterpret_cast<const char*>(bitmap.data()),
                   static_cast<std::streamsize>(bitmap.size()));
        if (!file) {
            std::cerr << "make_lamps: cannot write " << path << '\n';
            return 1;
        }
    }
    return 0;
}
