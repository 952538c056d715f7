#pragma once
// The level notice of the Readings tab (lblLevels): a coloured line when the reading shown
// is at or beyond one of the current sensor's alarm levels, or rose faster than its rate
// limit since the previous plotted reading. The tab tells it which reading it shows; the
// sensor is the current one. It only reads, so it works on a write-protected database too.
#include <QDateTime>
#include <QLabel>
#include <QString>
#include <functional>

namespace rv {

struct Session;

class LevelNotice : public QLabel {
    Q_OBJECT
public:
    explicit LevelNotice(Session& session, QWidget* parent = nullptr);
    ~LevelNotice() override;

    // Where the installation offset shown on the "2. Installation" tab is read from, for
    // the loads the notice judges.
    void setOffsetSource(std::function<QString()> offsetText) {
        m_offsetText = std::move(offsetText);
    }
    // Judges the reading of the current sensor stored at `at` with this channel 1: shows
    // the notice when a level or the rate limit is reached, hides it otherwise. A failure
    // to read the sensor is thrown (Abort) to the caller's log; a failure to read its
    // previous reading only leaves the rise unjudged.
    void judge(const QDateTime& at, const QString& channel1);
    // Hides the notice; its room stays, so the buttons above it never move.
    void clearNotice();
    // The run ends: from now on the notice no longer touches the run's state.
    void release() { m_s = nullptr; }

private:
    Session* m_s;
    std::function<QString()> m_offsetText;
};

} // namespace rv
