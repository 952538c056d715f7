#pragma once
// Progress of long work (staging or appending a large file, recomputing loads, writing a
// workbook), so the window never freezes without a sign. The program shows a progress
// dialog (QtProgress); tests record the calls and may ask for a cancel.
#include <QString>

namespace rv {

class Progress {
public:
    virtual ~Progress() = default;
    // Starts a piece of work of `total` steps (0 when the total is not known).
    virtual void begin(const QString& label, qint64 total) = 0;
    // Reports the steps done so far; answers false when the user asked to cancel.
    virtual bool step(qint64 done) = 0;
    // The work ended (finished, failed or cancelled).
    virtual void end() = 0;
};

// Progress that shows nothing and never cancels.
class NoProgress : public Progress {
public:
    void begin(const QString&, qint64) override {}
    bool step(qint64) override { return true; }
    void end() override {}
};

} // namespace rv
