#include "app/ServerAddress.h"
#include "platform/Dialogs.h"
#include "platform/UserChoices.h"
#include "store/Engine.h"
#include "store/PgEngine.h"
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>
#ifdef Q_OS_UNIX
#include <pwd.h>
#include <unistd.h>
#endif

namespace rv {

namespace {

const QString kPassword = QStringLiteral("password");

// Takes one setting into the address: the window's five into their boxes, a password
// dropped (Rockvane never keeps one), any other kept as it is.
void take(ServerAddress& a, const QString& key, const QString& value) {
    if (key == QLatin1String("host"))
        a.host = value;
    else if (key == QLatin1String("port"))
        a.port = value;
    else if (key == QLatin1String("dbname"))
        a.database = value;
    else if (key == QLatin1String("user"))
        a.user = value;
    else if (key == QLatin1String("sslmode"))
        a.sslMode = value;
    else if (key != kPassword)
        a.others.emplace_back(key, value);
}

Result<ServerAddress> parseUri(const QString& conninfo) {
    const QUrl url(conninfo, QUrl::StrictMode);
    if (!url.isValid())
        return Error{err::InvalidArgument,
                     QStringLiteral("The server address is not a valid URI: ") + url.errorString()};
    ServerAddress a;
    take(a, QStringLiteral("host"), url.host());
    if (url.port() != -1) take(a, QStringLiteral("port"), QString::number(url.port()));
    take(a, QStringLiteral("dbname"), url.path().mid(1));
    take(a, QStringLiteral("user"), url.userName());
    for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded))
        take(a, key, value);
    return a;
}

bool isSpace(QChar c) {
    return c.isSpace();
}

} // namespace

const QStringList& sslModes() {
    static const QStringList modes{QStringLiteral("disable"),   QStringLiteral("allow"),
                                   QStringLiteral("prefer"),    QStringLiteral("require"),
                                   QStringLiteral("verify-ca"), QStringLiteral("verify-full")};
    return modes;
}

QString connectionValue(const QString& value) {
    const bool bare = !value.isEmpty() && std::none_of(value.begin(), value.end(), [](QChar c) {
        return isSpace(c) || c == u'\'' || c == u'\\';
    });
    if (bare) return value;
    QString quoted = QStringLiteral("'");
    for (QChar c : value) {
        if (c == u'\'' || c == u'\\') quoted += u'\\';
        quoted += c;
    }
    return quoted + u'\'';
}

QString connectionString(const ServerAddress& a) {
    QStringList parts;
    auto add = [&](const QString& key, const QString& value) {
        if (!value.isEmpty()) parts << key + u'=' + connectionValue(value);
    };
    add(QStringLiteral("host"), a.host.trimmed());
    add(QStringLiteral("port"), a.port.trimmed());
    add(QStringLiteral("dbname"), a.database.trimmed());
    add(QStringLiteral("user"), a.user.trimmed());
    add(QStringLiteral("sslmode"), a.sslMode);
    for (const auto& [key, value] : a.others)
        add(key, value);
    return parts.join(u' ');
}

Result<ServerAddress> parseServerAddress(const QString& conninfo) {
    if (conninfo.startsWith(QLatin1String("postgresql://")) ||
        conninfo.startsWith(QLatin1String("postgres://")))
        return parseUri(conninfo);
    // keyword = value pairs apart by spaces; a value is bare up to the next space, or in
    // single quotes; a backslash takes the next character as it is, in either.
    ServerAddress a;
    const qsizetype n = conninfo.size();
    qsizetype i = 0;
    auto skipSpaces = [&] {
        while (i < n && isSpace(conninfo[i]))
            ++i;
    };
    for (skipSpaces(); i < n; skipSpaces()) {
        const qsizetype start = i;
        while (i < n && conninfo[i] != u'=' && !isSpace(conninfo[i]))
            ++i;
        const QString key = conninfo.mid(start, i - start);
        skipSpaces();
        if (i >= n || conninfo[i] != u'=')
            return Error{err::InvalidArgument,
                         QStringLiteral("The server address has \"") + key +
                             QStringLiteral("\" without \"=\" and a value after it.")};
        ++i;
        skipSpaces();
        QString value;
        if (i < n && conninfo[i] == u'\'') {
            ++i;
            bool closed = false;
            for (; i < n; ++i) {
                if (conninfo[i] == u'\\' && i + 1 < n) {
                    value += conninfo[++i];
                } else if (conninfo[i] == u'\'') {
                    closed = true;
                    ++i;
                    break;
                } else {
                    value += conninfo[i];
                }
            }
            if (!closed)
                return Error{err::InvalidArgument,
                             QStringLiteral("The server address has an unclosed quote in the "
                                            "value of \"") +
                                 key + QStringLiteral("\".")};
        } else {
            for (; i < n && !isSpace(conninfo[i]); ++i) {
                if (conninfo[i] == u'\\' && i + 1 < n) ++i;
                value += conninfo[i];
            }
        }
        take(a, key, value);
    }
    return a;
}

QString loginUser(const ServerAddress& a) {
    if (!a.user.isEmpty()) return a.user;
    if (const QString user = qEnvironmentVariable("PGUSER"); !user.isEmpty()) return user;
#ifdef Q_OS_UNIX
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name && *pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
#endif
    for (const char* name : {"USER", "USERNAME", "LOGNAME"})
        if (const QString value = qEnvironmentVariable(name); !value.isEmpty()) return value;
    return {};
}

QString loginDatabase(const ServerAddress& a) {
    if (!a.database.isEmpty()) return a.database;
    if (const QString name = qEnvironmentVariable("PGDATABASE"); !name.isEmpty()) return name;
    return loginUser(a);
}

QString loginHost(const ServerAddress& a) {
    if (!a.host.isEmpty()) return a.host;
    if (const QString host = qEnvironmentVariable("PGHOST"); !host.isEmpty()) return host;
    return QStringLiteral("localhost");
}

QString serverFailureText(const QString& conninfo, const Error& error) {
    const Result<ServerAddress> parsed = parseServerAddress(conninfo);
    if (!parsed.ok())
        return QStringLiteral("The site server's address cannot be read.") + kCrLf +
               parsed.error().description;
    const ServerAddress& a = parsed.value();
    const QString server =
        loginHost(a) + (a.port.isEmpty() ? QString() : QStringLiteral(":") + a.port);
    switch (error.number) {
    case err::ServerUnreachable:
        return QStringLiteral("The site server ") + server +
               QStringLiteral(" could not be reached.") + kCrLf + error.description;
    case err::LoginRefused:
        return QStringLiteral("The site server refused the login of ") + loginUser(a) +
               QStringLiteral(".") + kCrLf + error.description;
    case err::NoSuchDatabase:
        return QStringLiteral("The site server has no database ") + loginDatabase(a) +
               QStringLiteral(".");
    case err::NoRockvaneTables:
        return QStringLiteral("The database ") + loginDatabase(a) + QStringLiteral(" on ") +
               loginHost(a) +
               QStringLiteral(" holds no Rockvane tables. Prepare it with rockvane-provision "
                              "--server.");
    case err::TablesSpelledOtherwise:
        return QStringLiteral("The database ") + loginDatabase(a) + QStringLiteral(" on ") +
               loginHost(a) +
               QStringLiteral(" holds tables whose names differ from Rockvane's only in case (") +
               error.description +
               QStringLiteral("), as tables made by hand without quotes are named. Rockvane's "
                              "tables are made by rockvane-provision --server, only in an empty "
                              "database.");
    default:
        return QStringLiteral("The database ") + serverDisplayName(conninfo) +
               QStringLiteral(" could not be opened.") + kCrLf + error.description;
    }
}

Result<std::optional<QString>> serverArgument(const QStringList& arguments) {
    const QString option = QStringLiteral("--server");
    std::optional<QString> server;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        std::optional<QString> given;
        if (argument == option)
            given = i + 1 < arguments.size() && !arguments[i + 1].startsWith(QLatin1String("--"))
                        ? arguments[++i]
                        : QString();
        else if (argument.startsWith(option + u'='))
            given = argument.mid(option.size() + 1);
        if (!given) continue;
        if (given->trimmed().isEmpty())
            return Error{err::InvalidArgument,
                         QStringLiteral("--server needs the site server's connection string, "
                                        "e.g. --server \"host=db.mine dbname=rockvane\".")};
        server = given->trimmed();
    }
    return server;
}

QString startingServer(const std::optional<QString>& commandLine, const UserChoices& choices) {
    if (commandLine) return *commandLine;
    return choices.text(kServerChoiceKey).trimmed();
}

} // namespace rv
