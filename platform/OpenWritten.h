#pragma once
// Opening a file the program has just written (a picture, a workbook, the manual) with
// the user's own program for its type. When none opens it, the user learns that the file
// was written and where, and the caller gets the failure to log.
#include "platform/Desktop.h"
#include "platform/Dialogs.h"
#include "platform/Status.h"

namespace rv {

// Whether the file to open is one the program has just written (an export) or one it
// only shows (the manual): the message says "The file was written to" or "The file is".
enum class Opened { JustWritten, AlreadyThere };

// The text that tells the user where a file that could not be opened lies:
// "The file was written to" (or "The file is") + CrLf + the full native path + CrLf +
// "but no program could be started to open it."
QString writtenButNotOpened(const QString& path, Opened what = Opened::JustWritten);

// Opens `path`. When that fails, shows one message: `ownMessage` (the window's own text
// for the case, when it has one) followed by writtenButNotOpened(path), or that text
// alone; then answers the failure, naming the file, for the caller's log entry.
// A file that is not there at all gives the same message without "was written".
Status openWritten(Dialogs& dialogs, Desktop& desktop, const QString& path,
                   const QString& ownMessage = {}, const QString& title = kTitle,
                   Icon icon = Icon::Exclamation, Opened what = Opened::JustWritten);

} // namespace rv
