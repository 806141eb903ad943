#pragma once

#include <array>
#include <cstdint>

// The last ten current samples of one rail, newest first. The average always divides by ten,
// so after start-up the shown value ramps up over the first ten samples.
class CurrentHistory {
public:
    static constexpr int kLength = 10;

    // Drops the oldest sample and puts the new one in front.
    void Push(std::int32_t sample);
    // Sum of all ten entries divided by ten, truncated toward zero.
    std::int32_t Average() const;

private:
    std::array<std::int32_t, kLength> m_samples{};
};
