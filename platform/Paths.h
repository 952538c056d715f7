#pragma once
// Special folders of the machine.
#include <QString>

namespace rv {

constexpr int kCommonDocumentsFolder = 46;

class Paths {
public:
    virtual ~Paths() = default;
    // The path of a special folder by its id (46: the all-users common documents
    // folder). Empty when the machine has none.
    virtual QString specialFolder(int id) const = 0;
    // The bytes free to this user on the disk that holds `folder`; -1 when unknown.
    virtual qint64 bytesFree(const QString& folder) const;
};

// Windows: the shell's common documents folder; elsewhere the user's Documents folder.
class SystemPaths : public Paths {
public:
    QString specialFolder(int id) const override;
};

} // namespace rv
