#pragma once
// The CHECK constraints of a file's readings table that a copy can test on each value as it
// writes it, in the program, instead of in a pass over the stored rows afterwards. Only the
// three forms the program's own tables use are known: a date column's text form, a yes/no
// column's 0 or 1, and a number column's kinds. A check of another form, or a value whose
// stored form depends on the engine's conversion of a text, is left to the pass over the
// stored rows, so that the verdict is always the one the engine itself would give.
#include "store/Engine.h"
#include <QString>
#include <QStringList>
#include <vector>

namespace rv {

enum class CheckVerdict {
    Kept,   // the value as the file stores it keeps the check
    Broken, // it breaks it
    Unknown // only the engine can tell: the check is tested on the stored rows
};

class ValueChecks {
public:
    // checks: a table's CHECK expressions as its statement writes them; columns and
    // declaredTypes: the columns a copy writes, in the order of its cells, with the types
    // the table declares for them.
    ValueChecks(const QStringList& checks, const QStringList& columns,
                const QStringList& declaredTypes);

    // One row, its cells in the order of the columns.
    void see(const CellView* cells);
    // Of the checks, in their order: which a row seen broke, and which are left to the pass
    // over the stored rows (not known here, or met by a value only the engine can judge).
    bool broken(int check) const { return m_state[size_t(check)] == CheckVerdict::Broken; }
    bool leftToEngine(int check) const { return m_state[size_t(check)] == CheckVerdict::Unknown; }

private:
    enum class Form { DateText, ZeroOrOne, NumberKinds };
    enum class Affinity { Integer, Text, Blob, Real, Numeric };
    struct Known {
        int check;
        int cell;
        Form form;
        Affinity affinity;
    };
    static Affinity affinityOf(const QString& declaredType);
    static CheckVerdict verdict(Form form, Affinity affinity, const CellView& cell);

    std::vector<Known> m_known;
    std::vector<CheckVerdict> m_state; // per check: Kept until a value says otherwise
};

} // namespace rv
