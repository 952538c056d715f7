#pragma once
// The pictures of the picture buttons, drawn by the program itself so that it needs no
// image files.
#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QRectF>
#include <vector>

namespace rv::pictures {

QPixmap alive();      // a red heart: the sensor works
QPixmap dead();       // a grey broken heart: the sensor is destroyed
QPixmap arrowLeft();  // previous
QPixmap arrowRight(); // next
QPixmap firstArrow();
QPixmap lastArrow();
QPixmap plus();      // add new
QPixmap cross();     // delete
QPixmap book();      // manual
QPixmap globe();     // web site
QPixmap info();      // about
QPixmap funnel();    // apply a filter
QPixmap funnelOff(); // remove the filter
QPixmap sheet();     // datasheet / spreadsheet
QPixmap document();  // report
QPixmap import();    // import datafiles
QPixmap disk();      // backup
QPixmap restore();   // restore
QPixmap logo();      // the program's own picture, 32 x 32

// The program's own picture as filled rectangles on a 32 x 32 grid, drawn in order. The
// same parts make the window's picture and the icons of the desktop menu, at any size.
struct LogoPart {
    QRectF rect;
    QColor colour;
};
constexpr int kLogoGrid = 32;
const std::vector<LogoPart>& logoParts();
// The picture drawn at size x size pixels on a transparent ground. Needs no running
// application, so a build tool can write the icons with it.
QImage logoImage(int size);
// The picture at the sizes a window system asks for: the windows' own icon.
QIcon logoIcon();
// The 16 x 16 marks of a grid's check-box column.
QPixmap boxTicked(); // a ticked box
QPixmap boxEmpty();  // an empty box

} // namespace rv::pictures
