#pragma once
// Where the tab control goes, in twips (1/1440 inch), as the window loads and resizes.
#include <QPoint>
#include <QRect>
#include <QSize>
#include <optional>

namespace rv {

enum class WindowState { Normal, Minimized, Maximized };

// At load: ((screen width - window width) / 2, (screen height - window height - 250) / 2),
// each difference a whole number halved toward zero.
QPoint formLoadTabPosition(QSize screenTwips, QSize windowTwips);

// On resize: nothing when minimised; centred on the screen when maximised; otherwise at
// 120, 120.
std::optional<QPoint> resizeTabPosition(WindowState state, QSize screenTwips, QSize tabTwips);

// On resize, when the tabs grow with the window (pixels): nothing when minimised;
// otherwise `margin` from the top left of the window's area, as large as the area less a
// margin on every side, never smaller than the tab control's normal size.
std::optional<QRect> grownTabRect(WindowState state, QSize area, QSize normalTab, int margin);

} // namespace rv
