// Rockvane: the load-cell sensor database.
//   rockvane                      works on this computer's database file, or on the site
//                                 server chosen in the Database window
//   rockvane --server "<conninfo>"  works on that site server for this run (a libpq
//                                 connection string: "host=db.mine dbname=rockvane")
#include "app/ServerAddress.h"
#include "app/frmRockvane.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "platform/QtDesktop.h"
#include "platform/QtDialogs.h"
#include "platform/SingleInstance.h"
#include "ui/Pictures.h"
#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Rockvane"));
    QApplication::setOrganizationName(QStringLiteral("Brackwell"));
    // The desktop menu's launcher and icon belong to this window.
    QApplication::setDesktopFileName(QStringLiteral("rockvane"));
    QApplication::setWindowIcon(rv::pictures::logoIcon());
    rv::QtDialogs dialogs;
    rv::SystemClock clock;
    rv::SystemPaths paths;
    rv::QtDesktop desktop;
    rv::LockFileInstance instance;
    rv::frmRockvane window(dialogs, clock, paths, desktop, instance);
    // The quick check of a large database costs a noticeable part of a second: it runs
    // only when the run before did not end cleanly.
    window.setStartUpCheck(rv::StartUpCheck::AfterUncleanEnd);
    dialogs.setOwner(&window);
    const auto server = rv::serverArgument(QApplication::arguments());
    if (!server.ok()) {
        dialogs.inform(server.error().description, rv::kTitle, rv::Icon::Critical);
        return 2;
    }
    window.setServerArgument(server.value());
    if (!window.Form_Load()) return 0;
    window.show();
    const int code = QApplication::exec();
    window.Form_Terminate();
    return code;
}
