#pragma once
// Opening a document or a web address with the user's own program.
#include <QString>

namespace rv {

class Desktop {
public:
    virtual ~Desktop() = default;
    // False when there is no such file or no program to open it; never shows anything.
    virtual bool openFile(const QString& path) = 0;
    virtual bool openAddress(const QString& url) = 0;
};

} // namespace rv
