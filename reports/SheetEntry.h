#pragma once
// What a spreadsheet makes of a text typed into one of its cells: a number, a date, a
// date and time, a time of day, a Yes/No value, or text. The grid export writes every
// grid text the way the spreadsheet would have taken it from the keyboard, so that loads
// and temperatures can be summed and dates sorted, while identifiers and keys stay as
// written. Pure rules: no workbook, no widget.
#include <QDate>
#include <QString>
#include <QTime>

namespace rv {

struct SheetEntry {
    enum class Kind { Blank, Number, Date, DateTime, Time, Boolean, Text };
    Kind kind = Kind::Blank;
    double number = 0; // Number: the value; Time: the fraction of a day
    QDate date;        // Date, DateTime
    QTime time;        // DateTime, Time
    bool boolean = false;
    QString text; // Text: the text unchanged
};

// The entry a typed text becomes:
//  - an empty text: nothing (the cell stays blank);
//  - a number in the leading-number grammar ("12.50", "-3", "1e3", " 7 "): a number, unless
//    it has more than 15 significant digits (the spreadsheet would round it: it stays text);
//  - "True" or "False" in any letter case: a Yes/No value;
//  - a date the date reader accepts ("2026/03/12", "2026-3-12", the short date form),
//    optionally followed by a time "h:mm" or "h:mm:ss": a date, or a date and time; a
//    year before 1900 stays text (the spreadsheet has no such dates);
//  - a time of day "h:mm" or "h:mm:ss" on the 24-hour clock: a time;
//  - anything else, including a text that begins with "=": text, never a formula.
SheetEntry typedEntry(const QString& text);

// The entry of the readings' date column: a text that reads as a date becomes that date
// (shown yyyy/mm/dd), any other text is taken as typed (the header "ReadingDate" stays
// text).
SheetEntry dateColumnEntry(const QString& text);

// How many characters the entry takes when shown: the width a column needs for it.
int shownWidth(const SheetEntry& entry);

// The most characters a spreadsheet cell holds. A longer text is refused by the workbook
// writer, which would leave its cell empty.
constexpr qsizetype kMaxCellChars = 32767;
// The text a cell is given: the text itself when it fits, else its first kMaxCellChars
// characters (a character of two UTF-16 units is never split).
QString cellText(const QString& text);

// The widest column the spreadsheet allows, in characters.
constexpr int kMaxColumnWidth = 255;
// The width of a column whose widest entry takes `chars` characters: one character of
// room beside it, at most kMaxColumnWidth.
double fittedColumnWidth(int chars);

// The path of a new workbook for the sensor in folder: "<sensor>.xlsx", or, when that
// file exists, "<sensor> (2).xlsx", "<sensor> (3).xlsx", ... so that no earlier export is
// ever overwritten. Characters that no file name may hold become "_"; an empty sensor
// name gives "Datasheet". Empty when no free name is left.
QString newWorkbookPath(const QString& folder, const QString& sensor);

} // namespace rv
