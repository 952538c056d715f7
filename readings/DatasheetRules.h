#pragma once
// The rules of the datasheet grid that need no widget and no database: how many columns
// a sensor's grid has, their header texts and widths, and what a key typed into a cell
// does.
#include <QString>

namespace rv {

// The index L of the grid's last column: the leading-number value of the identifier's
// fifth character (the first digit of the sensor type) plus 3. A type-25 sensor gives 5,
// so its grid has six columns.
int datasheetLastColumn(const QString& sensorId);

// The header text of grid column `column` when the last column is `last`: "DateTime Key",
// "ReadingDate", "R. Time", "ChannelT", "Channel1" for columns 0 to 4 when last >= 5;
// "Channel" + (column - 3) for columns 5 to 13 when last > column; "DoNotPlot" for the
// last column whatever it is; no text otherwise.
QString datasheetHeader(int column, int last);

// The width of a column in twips: 120 per character of its trimmed header text, none
// without a header, and 2600 for column 0.
int datasheetColumnTwips(int column, int last);

// The first column that takes typed characters: columns 0 to 2 hold the date and time.
constexpr int kFirstChannelColumn = 3;

// What a character typed into the current cell does.
enum class GridKey {
    Nothing,    // the cell is left as it is
    RemoveLast, // backspace: the cell's last character goes (the grid counts as changed)
    Empty,      // delete: the cell is emptied (the grid counts as changed)
    NextCell,   // tab: the next cell, wrapping to the next row and to the top
    Append,     // a digit or ".": added at the end of the cell
    MessageA,   // "Only Channel Data is editable in this datasheet" ...
    MessageB    // "Channel Data must be a numeric value" ...
};

// The effect of the character `code` (backspace 8, tab 9, delete 127, "0"-"9", "." and
// any other) typed into a cell of column `column` that holds `cell`; `editable` is false
// for cells that hold no channel value whatever their column (the plot-mark column and
// the fixed row). A digit or "." that would leave a channel cell holding something other
// than a number ("85.80" followed by ".") is refused with message B, like any other
// refused key; a "." typed into an empty cell is taken as the start of a number (".5").
GridKey datasheetKey(int code, int column, bool editable = true, const QString& cell = QString());

// Whether a channel value may be written back into a reading: empty, or a number
// ("12.5", "-3", "85.", "1e3"), blanks around it allowed.
bool isChannelValue(const QString& text);

// The hint shown under the grid on how its cells are edited.
QString datasheetHint();

// The two messages of the datasheet's keys.
QString datasheetMessageA();
QString datasheetMessageB();

} // namespace rv
