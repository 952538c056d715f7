#pragma once
// The user manual RockvaneManual.pdf, rendered with Qt alone from the Markdown source
// docs/manual.md compiled into the program. The source's level-1 heading and what
// follows it up to the first level-2 heading make the title page, together with the
// version and the contents; every level-2 heading opens a chapter on a new page.
// Chapter pages carry a footer with the manual's title and the page number.
#include "platform/Status.h"
#include <QString>

namespace rv {

// The manual's Markdown source as compiled into the program.
QString manualMarkdown();

// Where the picture a manual page names ("images/readings.png") is compiled into the
// program: the pictures of docs/images are built in, so the tool needs no files beside it.
QString manualPicturePath(const QString& name);

// Writes the manual as an A4 PDF to pdfPath, replacing any file there only once the
// whole manual is written. Fails, leaving the path as it was, when the file cannot be
// written (a missing folder, a folder in the way, a full disk) or when no
// QGuiApplication is running (fonts need one).
Status writeManual(const QString& pdfPath);

} // namespace rv
