-- The shipped database of Rockvane: four fixed tables and the template of every
-- sensor's readings table. Each column keeps its logical type through its declared
-- type and a check, so the file refuses values of the wrong kind whoever writes it:
--   TEXT          text (a notes column too: declared TEXT so that a note such as
--                 "0012.50" is kept as typed, never read as a number)
--   DOUBLE        a number (floating point)
--   DATETIME      a date, stored as 'yyyy-MM-dd' or 'yyyy-MM-dd HH:mm:ss' (wall clock),
--                 so that ordering by the column is chronological
--   YESNO         a Yes/No value stored as 0 or 1

CREATE TABLE Configuration (
    SensorType TEXT,
    Family TEXT,
    Model TEXT,
    lblNotes TEXT,
    lowval DOUBLE CHECK (typeof(lowval) IN ('null', 'real', 'integer')),
    highval DOUBLE CHECK (typeof(highval) IN ('null', 'real', 'integer')),
    tempchannel YESNO DEFAULT 0 CHECK (tempchannel IS NULL OR tempchannel IN (0, 1)),
    templow DOUBLE CHECK (typeof(templow) IN ('null', 'real', 'integer')),
    temphigh DOUBLE CHECK (typeof(temphigh) IN ('null', 'real', 'integer'))
);

CREATE TABLE Sensors (
    InstrumentID TEXT NOT NULL UNIQUE,
    DateID TEXT,
    SensorType TEXT,
    TypeID TEXT,
    SensorNo TEXT,
    Family TEXT,
    Model TEXT,
    Level TEXT,
    Location TEXT,
    Borehole TEXT,
    InstallDate DATETIME CHECK (InstallDate IS NULL OR (typeof(InstallDate) = 'text' AND InstallDate GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*')),
    InstallBy TEXT,
    Purpose TEXT,
    Notes TEXT,
    Recess DOUBLE CHECK (typeof(Recess) IN ('null', 'real', 'integer')),
    Destroyed TEXT,
    DestructionDate DATETIME CHECK (DestructionDate IS NULL OR (typeof(DestructionDate) = 'text' AND DestructionDate GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*')),
    HeadLocation YESNO DEFAULT 0 CHECK (HeadLocation IS NULL OR HeadLocation IN (0, 1))
);

CREATE TABLE NetworkConfig (
    SensorID TEXT,
    NodeAddress TEXT,
    Port TEXT,
    Notes TEXT
);

CREATE TABLE Prefs (
    MaxY DOUBLE CHECK (typeof(MaxY) IN ('null', 'real', 'integer'))
);

CREATE TABLE sensordata (
    DateTimeKey TEXT UNIQUE,
    ReadingDate DATETIME CHECK (ReadingDate IS NULL OR (typeof(ReadingDate) = 'text' AND ReadingDate GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*')),
    ReadingTime TEXT,
    ChannelT TEXT,
    Channel1 TEXT,
    DoNotPlot YESNO DEFAULT 0 CHECK (DoNotPlot IS NULL OR DoNotPlot IN (0, 1)),
    FullDate DATETIME CHECK (FullDate IS NULL OR (typeof(FullDate) = 'text' AND FullDate GLOB '[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]*')),
    Channel2 TEXT,
    Channel3 TEXT,
    Channel4 TEXT,
    Channel5 TEXT,
    Channel6 TEXT,
    Channel7 TEXT,
    Channel8 TEXT,
    Channel9 TEXT,
    Channel10 TEXT,
    IsDirty YESNO DEFAULT 0 CHECK (IsDirty IS NULL OR IsDirty IN (0, 1)),
    Plottemporal YESNO DEFAULT 0 CHECK (Plottemporal IS NULL OR Plottemporal IN (0, 1)),
    PlotSpatial YESNO DEFAULT 0 CHECK (PlotSpatial IS NULL OR PlotSpatial IN (0, 1)),
    zero1 DOUBLE CHECK (typeof(zero1) IN ('null', 'real', 'integer')),
    NumTemp DOUBLE CHECK (typeof(NumTemp) IN ('null', 'real', 'integer'))
);

-- Every readings table orders its rows by FullDate; a new readings table copies
-- this index along with the columns.
CREATE INDEX sensordata_FullDate ON sensordata (FullDate);
