#pragma once
// Detects a second running copy of the program.
#include <QString>
#include <memory>

class QLockFile;

namespace rv {

class SingleInstance {
public:
    virtual ~SingleInstance() = default;
    // True when another copy already runs; otherwise this copy claims the run.
    virtual bool anotherCopyRunning() = 0;
};

// A lock file in the temporary folder held for the whole run.
class LockFileInstance : public SingleInstance {
public:
    explicit LockFileInstance(QString lockPath = {});
    ~LockFileInstance() override;
    bool anotherCopyRunning() override;

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace rv
