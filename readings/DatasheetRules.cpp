#include "readings/DatasheetRules.h"
#include "core/NumberText.h"
#include "platform/Dialogs.h"
#include <QLatin1String>

namespace rv {

int datasheetLastColumn(const QString& sensorId) {
    // A digit's value; an identifier too short to have a fifth character, or one whose
    // fifth character is no digit, gives 0.
    return int(leadingNumber(sensorId.mid(4, 1))) + 3;
}

QString datasheetHeader(int column, int last) {
    if (column == last) return QStringLiteral("DoNotPlot");
    if (column < 0 || column > last) return {};
    static const char* const first[] = {"DateTime Key", "ReadingDate", "R. Time", "ChannelT",
                                        "Channel1"};
    if (column <= 4) return last >= 5 ? QLatin1String(first[column]) : QString();
    if (column <= 13) return QStringLiteral("Channel") + QString::number(column - 3);
    return {};
}

int datasheetColumnTwips(int column, int last) {
    if (column == 0) return 2600;
    return 120 * int(datasheetHeader(column, last).trimmed().size());
}

GridKey datasheetKey(int code, int column, bool editable, const QString& cell) {
    if (code == '\t') return GridKey::NextCell;
    const bool channel = editable && column >= kFirstChannelColumn;
    if (code == '\b') return channel ? GridKey::RemoveLast : GridKey::Nothing;
    if (code == 127) return channel ? GridKey::Empty : GridKey::Nothing;
    if ((code >= '0' && code <= '9') || code == '.') {
        if (!channel) return GridKey::MessageA;
        const QString typed = cell + QChar(code);
        return isNumberText(typed) || typed == QStringLiteral(".") ? GridKey::Append
                                                                   : GridKey::MessageB;
    }
    return channel ? GridKey::MessageB : GridKey::MessageA;
}

bool isChannelValue(const QString& text) {
    return text.trimmed().isEmpty() || isNumberText(text);
}

QString datasheetHint() {
    return QStringLiteral("Type to add to a value, Backspace removes its last character, "
                          "Delete empties the cell.");
}

QString datasheetMessageA() {
    return QStringLiteral("Only Channel Data is editable in this datasheet") + kCrLf +
           QStringLiteral("Please use the main form to change dates and times");
}

QString datasheetMessageB() {
    return QStringLiteral("Channel Data must be a numeric value") + kCrLf +
           QStringLiteral("Use the backspace key to delete, field accepts numeric values only");
}

} // namespace rv
