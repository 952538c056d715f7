#pragma once
// The SQLite engine: a database is one file. The only part of the program that talks to
// SQLite itself.
#include "store/Engine.h"

namespace rv {

DatabaseEngine& sqliteEngine();

} // namespace rv
