#pragma once
// The desktop menu's icons of the program, written from the program's own picture
// (pictures::logo) so that the menu, the window and the About window show the same one.
// They follow the freedesktop icon theme layout under <folder>/hicolor:
//   scalable/apps/rockvane.svg and <size>x<size>/apps/rockvane.png for each PNG size.
#include "platform/Status.h"
#include <QByteArray>
#include <QString>
#include <array>

namespace rv {

inline const QString kIconName = QStringLiteral("rockvane");
inline constexpr std::array<int, 4> kIconSizes{48, 64, 128, 256};

// The picture as an SVG document: one rectangle per part on the picture's grid.
QByteArray logoSvg();

// The path of an icon under folder: the SVG for size 0, otherwise the PNG of that size.
QString iconPath(const QString& folder, int size);

// Writes the SVG and every PNG size under folder, creating the folders they need.
// Fails, naming the file, when one cannot be written.
Status writeIcons(const QString& folder);

} // namespace rv
