#pragma once
// Pages that grow with the window: the parts that hold no data keep the size they have at
// the page's normal size, so that the room a larger page gains goes to the parts that
// hold data (plots, lists, grids).
#include <QSize>
#include <Qt>
#include <vector>

class QWidget;

namespace rv {

// A part of a page and the directions in which it keeps its normal size.
struct KeptPart {
    QWidget* part;
    Qt::Orientations keep;
};

// Lays the page out at normalSize, caps each part in the directions it keeps at the size
// it has there, and lays the page out at its own size again. The parts have no caps of
// their own: releaseNormalSize lifts these.
void keepNormalSize(QWidget& page, QSize normalSize, const std::vector<KeptPart>& parts);
void releaseNormalSize(const std::vector<KeptPart>& parts);

// A part that holds data takes the room its layout gains before the parts beside it that
// merely could (empty space, other expanding parts); or no longer does.
void takeRoom(QWidget& part, bool takes);

} // namespace rv
