#pragma once
// The weekly report window, opened from the "6. Utilities" tab: the user chooses the
// sensors (one Level, one Location, or every sensor beyond its levels), the period and,
// once, the site's name; "Write report..." asks where to save the document (PDF or
// OpenDocument text, in the folder kept for reports), writes it and opens it.
#include "reports/WeeklyReport.h"
#include <QDialog>
#include <memory>

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace rv {

struct Session;
class Progress;

class frmWeeklyReport : public QDialog {
    Q_OBJECT
public:
    explicit frmWeeklyReport(Session& session, QWidget* parent = nullptr);
    ~frmWeeklyReport() override;

    // Where the progress of writing is shown (nothing: a progress dialog over this
    // window). The window does not own it.
    void setProgress(Progress* progress) { m_progress = progress; }
    // What the window's controls choose now.
    WeeklyChoice choice() const;
    // The document written by the last "Write report..."; empty when none was.
    const QString& lastDocument() const { return m_lastDocument; }

    void cmdOK_Click();

    QRadioButton* optLevel;
    QComboBox* cboLevel;
    QRadioButton* optLocation;
    QComboBox* cboLocation;
    QRadioButton* optBeyond; // "Every sensor beyond its levels"
    QComboBox* cboPeriod;
    QLineEdit* txtSite;
    QPushButton* cmdOK;     // "Write report..."
    QPushButton* cmdCancel; // "Cancel"

private:
    Progress& progress();

    Session& m_s;
    Progress* m_progress = nullptr;
    std::unique_ptr<Progress> m_ownProgress;
    QString m_lastDocument;
};

} // namespace rv
