#include "app/Placement.h"

namespace rv {

QPoint formLoadTabPosition(QSize screenTwips, QSize windowTwips) {
    return QPoint((screenTwips.width() - windowTwips.width()) / 2,
                  (screenTwips.height() - windowTwips.height() - 250) / 2);
}

std::optional<QPoint> resizeTabPosition(WindowState state, QSize screenTwips, QSize tabTwips) {
    switch (state) {
    case WindowState::Minimized:
        return std::nullopt;
    case WindowState::Maximized:
        return QPoint((screenTwips.width() - tabTwips.width()) / 2,
                      (screenTwips.height() - tabTwips.height()) / 2);
    case WindowState::Normal:
        break;
    }
    return QPoint(120, 120);
}

std::optional<QRect> grownTabRect(WindowState state, QSize area, QSize normalTab, int margin) {
    if (state == WindowState::Minimized) return std::nullopt;
    const QSize room = area - QSize(2 * margin, 2 * margin);
    return QRect(QPoint(margin, margin), room.expandedTo(normalTab));
}

} // namespace rv
