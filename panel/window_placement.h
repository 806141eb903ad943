#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

// Where a window whose frame has `size` goes beside the frame `anchor`, on the screen area
// `screen`, so that it covers none of it: to its right, else to its left, else below it, else
// above it, aligned with the anchor's top or left edge and moved along that edge to stay on the
// screen. Where none of them has room, to the right, kept on the screen.
QPoint PlaceBeside(const QRect& anchor, const QSize& size, const QRect& screen);

// Moves the top-level `window`, before it is shown, beside `anchor`'s window on its screen. The
// window's frame, not drawn yet, is taken to be as thick as the anchor's.
void MoveBeside(QWidget& window, const QWidget& anchor);
