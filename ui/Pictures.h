#pragma once
// The pictures of the picture buttons, drawn by the program itself so that it needs no
// image files.
#include <QPixmap>

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
QPixmap logo();      // the program's own picture
// The 16 x 16 marks of a grid's check-box column.
QPixmap boxTicked(); // a ticked box
QPixmap boxEmpty();  // an empty box

} // namespace rv::pictures
