#pragma once
#include "platform/Progress.h"
#include <QElapsedTimer>
#include <memory>

class QProgressDialog;
class QWidget;

namespace rv {

// A modal progress dialog with a Cancel button. It appears only when the work lasts
// longer than a moment, and is repainted at most every 50 ms so that reporting progress
// costs next to nothing.
class QtProgress : public Progress {
public:
    explicit QtProgress(QWidget* parent = nullptr);
    ~QtProgress() override;
    void begin(const QString& label, qint64 total) override;
    bool step(qint64 done) override;
    void end() override;

private:
    QWidget* m_parent;
    std::unique_ptr<QProgressDialog> m_dialog;
    QElapsedTimer m_sinceRepaint;
    qint64 m_total = 0;
};

} // namespace rv
