#include "ui/Growth.h"
#include <QLayout>
#include <QWidget>

namespace rv {

void keepNormalSize(QWidget& page, QSize normalSize, const std::vector<KeptPart>& parts) {
    releaseNormalSize(parts);
    QLayout* layout = page.layout();
    if (layout) {
        // The sizes come from the page's own layout at its normal size, whether or not the
        // page is shown, and whatever size it has now.
        layout->activate();
        layout->setGeometry(QRect(QPoint(), normalSize));
    }
    for (const auto& [part, keep] : parts) {
        const QSize normal = part == &page ? normalSize : part->size();
        if (keep & Qt::Horizontal) part->setMaximumWidth(normal.width());
        if (keep & Qt::Vertical) part->setMaximumHeight(normal.height());
    }
    if (layout) {
        layout->invalidate();
        layout->setGeometry(page.rect());
    }
}

void releaseNormalSize(const std::vector<KeptPart>& parts) {
    for (const auto& [part, keep] : parts) {
        if (keep & Qt::Horizontal) part->setMaximumWidth(QWIDGETSIZE_MAX);
        if (keep & Qt::Vertical) part->setMaximumHeight(QWIDGETSIZE_MAX);
    }
}

void takeRoom(QWidget& part, bool takes) {
    QSizePolicy policy = part.sizePolicy();
    policy.setHorizontalStretch(takes ? 1 : 0);
    policy.setVerticalStretch(takes ? 1 : 0);
    part.setSizePolicy(policy);
}

} // namespace rv
