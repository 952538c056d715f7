#pragma once
// Why the program cannot write where an action needs to, said in one sentence that names
// the place, so that a refused action tells the user what stopped it before anything is
// written.
#include "platform/Paths.h"
#include <QString>

namespace rv {

// Empty when `needBytes` can be written into `folder`; otherwise one of
//   "The folder <path> does not exist."
//   "The folder <path> is read-only: nothing can be written to it."
//   "The disk that holds <path> is full: <n> MB are needed and <m> MB are free."
// Writing is tried (a work file made and removed at once), so a read-only file system,
// a folder without permission and an immutable folder are all found.
QString whyCannotWrite(const Paths& paths, const QString& folder, qint64 needBytes = 0);

// Empty when the existing file `path` can be changed in place; otherwise
//   "The file <path> is read-only: nothing can be written to it."
// The file itself is never opened: it may be the database the program holds open.
QString whyCannotChange(const QString& path);

} // namespace rv
