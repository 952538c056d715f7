#pragma once
// The notes of a sensor (Sensors.Notes) and of a network node (NetworkConfig.Notes) are
// text, kept exactly as typed. A database file made before this version declares them
// MEMO, which the file treats as a number's column: a note typed as "0012.50" or "1e3"
// was stored as the number 12.5 or 1000. Opening such a file where it can be written
// makes those two tables again with their notes declared TEXT, every row kept under its
// own row number. A site server's notes were always text.
#include "platform/Status.h"

namespace rv {

class Connection;

// Whether both notes columns keep what is typed (always on a site server).
bool notesKeepText(Connection& c);
// Makes the tables whose notes do not keep text again, inside the caller's transaction
// or one of its own. Nothing to do on a site server or when both already keep text.
Status ensureTextNotes(Connection& c);

} // namespace rv
