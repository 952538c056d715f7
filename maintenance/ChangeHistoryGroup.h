#pragma once
// "History of changes" on the "6. Utilities" tab: how big the history of changes to
// readings is, its export to a spreadsheet (every entry of every sensor), and the clearing
// of the entries made before a chosen day, after a confirmation, itself recorded as one
// entry. The size is read again whenever the tab is shown and after each action. A
// database without the history says so and offers nothing; one that is read-only may be
// exported but not cleared.
#include "platform/Progress.h"
#include <QGroupBox>

class QDateEdit;
class QLabel;
class QPushButton;

namespace rv {

struct Session;

class ChangeHistoryGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit ChangeHistoryGroup(Session& session, QWidget* parent = nullptr);

    // Where writing the workbook shows its progress (nothing shown until set).
    void setProgress(Progress& progress) { m_progress = &progress; }
    // Reads the size of the history again and enables what the database allows.
    void refresh();

    // "Export to spreadsheet...": a workbook chosen by name, then opened.
    void cmdExportChanges_Click();
    // "Clear older...": the entries made before the day in dtpClearBefore, once confirmed.
    void cmdClearBefore_Click();

    QLabel* lblChanges; // the size, or why there is no history
    QPushButton* cmdExportChanges;
    QDateEdit* dtpClearBefore;
    QPushButton* cmdClearBefore;

protected:
    void showEvent(QShowEvent* event) override;

private:
    Session& m_s;
    NoProgress m_noProgress;
    Progress* m_progress = &m_noProgress;
};

} // namespace rv
