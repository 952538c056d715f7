#pragma once
// The rockvane-provision command: prepares the data folder <documents>/Brackwell/Rockvane
// on first use with the shipped database and the manual, and changes nothing that is
// already there.
//
//   rockvane-provision [--documents <folder>] [--window]
//
// <documents> is the machine's common documents folder unless --documents names another.
// --window is for the desktop launcher, which has no terminal: a failure is also shown in
// a message window.
#include <QString>
#include <QStringList>

class QTextStream;

namespace rv {

class Dialogs;
class Paths;

// The data folder under a documents folder: <documents>/Brackwell/Rockvane, absolute.
QString dataFolderUnder(const QString& documents);

// Runs the command with its arguments (the program's name left out). Writes one line to
// out for each thing created, or "Data folder ready: <folder>" when nothing was
// missing, and answers 0; on any failure writes the reason to err and answers 1.
// The documents folder comes from paths unless the arguments name one. With --window and
// dialogs given, a failure to prepare the folder is also shown through dialogs.
int provisionMain(const QStringList& args, const Paths& paths, QTextStream& out, QTextStream& err,
                  Dialogs* dialogs = nullptr);
// The same with the machine's own special folders.
int provisionMain(const QStringList& args, QTextStream& out, QTextStream& err,
                  Dialogs* dialogs = nullptr);

// True when the arguments ask for failures in a message window.
bool wantsWindow(const QStringList& args);

} // namespace rv
