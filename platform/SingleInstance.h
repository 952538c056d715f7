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

// A lock file in the temporary folder held for the whole run. Each user of the machine
// has a lock of their own (and a data folder of their own): one user's running copy
// never refuses another user's.
class LockFileInstance : public SingleInstance {
public:
    // The lock of the user who runs the program, unless lockPath names another.
    explicit LockFileInstance(QString lockPath = {});
    // The lock file of the user known to the system by userKey.
    static QString lockPathFor(const QString& userKey);
    ~LockFileInstance() override;
    bool anotherCopyRunning() override;

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};

} // namespace rv
