#pragma once
// Keeps a second running copy of the program off the database the first one works on.
#include <QString>
#include <memory>

class QLockFile;

namespace rv {

class SingleInstance {
public:
    virtual ~SingleInstance() = default;
    // The database this run is about to open: any copy already running on it, whoever
    // runs it and by whatever path it reaches the file, is another copy. Told once,
    // before anotherCopyRunning().
    virtual void guard(const QString& databasePath) { (void)databasePath; }
    // True when another copy already runs; otherwise this copy claims the run.
    virtual bool anotherCopyRunning() = 0;
    // Whether this run's claim guards the database itself. False where the database's
    // folder cannot hold a lock: then only this user's own copies are kept apart, and the
    // database must be opened for reading only.
    virtual bool guardsDatabase() const { return true; }
    // Once anotherCopyRunning() answered true: which database is held, and by whom
    // (computer, user, process), as far as the holder's lock tells; empty when unknown.
    virtual QString holder() const { return {}; }
    // The run has left the database (for a site server): its claim goes, and another copy
    // may open the database. guard() and anotherCopyRunning() claim it again.
    virtual void release() {}
};

// A lock file beside the database, "<database file>.lock" in the folder of the file its
// path leads to (links resolved), held for the whole run, with the computer, the user and
// the database written into it. A lock left by a copy that ended without letting it go
// (a crash, a power cut) is taken over. Where the database's folder cannot hold a lock,
// the lock of the running user in the temporary folder stands in for it.
class LockFileInstance : public SingleInstance {
public:
    // The user's lock in the temporary folder, unless fallbackLockPath names another.
    explicit LockFileInstance(QString fallbackLockPath = {});
    // The temporary folder's lock of the user known to the system by userKey.
    static QString lockPathFor(const QString& userKey);
    // The lock of the database at databasePath: beside the file the path leads to.
    static QString databaseLockPath(const QString& databasePath);
    ~LockFileInstance() override;

    void guard(const QString& databasePath) override;
    bool anotherCopyRunning() override;
    bool guardsDatabase() const override { return m_besideDatabase; }
    QString holder() const override { return m_holder; }
    void release() override;

private:
    QString m_fallback;
    QString m_database;
    std::unique_ptr<QLockFile> m_lock;
    bool m_besideDatabase = false;
    QString m_holder;
};

// The login name of the user who runs the program.
QString currentUserName();

} // namespace rv
