#pragma once
#include "platform/Desktop.h"

namespace rv {

// Opens files and addresses through QDesktopServices.
class QtDesktop : public Desktop {
public:
    bool openFile(const QString& path) override;
    bool openAddress(const QString& url) override;
};

} // namespace rv
