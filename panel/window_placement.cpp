#include "panel/window_placement.h"

#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <array>

namespace {

// Between the two frames, so that their edges are told apart.
constexpr int kGap = 8;

int Within(int start, int length, int low, int high) {
    return std::max(low, std::min(start, high - length));
}

} // namespace

QPoint PlaceBeside(const QRect& anchor, const QSize& size, const QRect& screen) {
    const int alongTop = Within(anchor.top(), size.height(), screen.top(), screen.bottom() + 1);
    const int alongLeft = Within(anchor.left(), size.width(), screen.left(), screen.right() + 1);
    const std::array candidates = {
        QPoint(anchor.right() + 1 + kGap, alongTop),
        QPoint(anchor.left() - kGap - size.width(), alongTop),
        QPoint(alongLeft, anchor.bottom() + 1 + kGap),
        QPoint(alongLeft, anchor.top() - kGap - size.height()),
    };
    for (const QPoint& place : candidates) {
        if (screen.contains(QRect(place, size))) {
            return place;
        }
    }
    return {Within(candidates.front().x(), size.width(), screen.left(), screen.right() + 1),
            alongTop};
}

void MoveBeside(QWidget& window, const QWidget& anchor) {
    const QRect anchorFrame = anchor.frameGeometry();
    const QSize frameExtra = anchorFrame.size() - anchor.geometry().size();
    const QScreen* screen = anchor.screen();
    const QRect area = screen ? screen->availableGeometry() : anchorFrame;
    window.move(PlaceBeside(anchorFrame, window.size() + frameExtra, area));
}
