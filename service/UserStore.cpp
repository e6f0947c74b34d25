// SPDX-License-Identifier: GPL-3.0-or-later
#include "service/UserStore.h"

#include <QCryptographicHash>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>

namespace {

constexpr int kMaxName = 64; // names travel in every request
constexpr int kMaxPassword = 128;
constexpr int kSaltBytes = 16;
constexpr int kDigestBytes = 32;

QByteArray Digest(const QString& password, const QByteArray& salt, int iterations)
{
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt, iterations,
                                              kDigestBytes);
}

bool SameBytes(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |= uchar(a.at(i) ^ b.at(i));
    return diff == 0;
}

} // namespace

UserStore::UserStore() : connection_(QUuid::createUuid().toString()) { }

UserStore::~UserStore()
{
    db_.close();
    db_ = QSqlDatabase();
    QSqlDatabase::removeDatabase(connection_);
}

bool UserStore::open(const QString& where)
{
    const QUrl url(where);
    const QString scheme = url.scheme().toLower();
    if (scheme == u"postgresql" || scheme == u"postgres") {
        db_ = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection_);
        db_.setHostName(url.host());
        if (url.port() > 0)
            db_.setPort(url.port());
        db_.setUserName(url.userName());
        db_.setPassword(url.password());
        db_.setDatabaseName(url.path().mid(1));
    } else {
        db_ = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
        db_.setDatabaseName(where);
    }
    if (!db_.isValid()) {
        lastError_ = QStringLiteral("no SQL driver for %1 (install the Qt SQL driver package)").arg(where);
        return false;
    }
    if (!db_.open()) {
        lastError_ = QStringLiteral("cannot open %1: %2").arg(where, db_.lastError().text());
        return false;
    }
    QSqlQuery create(db_);
    if (!create.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS users (name VARCHAR(64) PRIMARY KEY, "
                                    "salt VARCHAR(64) NOT NULL, digest VARCHAR(128) NOT NULL, "
                                    "iterations INTEGER NOT NULL)"))) {
        lastError_ = QStringLiteral("cannot set up %1: %2").arg(where, create.lastError().text());
        return false;
    }
    return true;
}

QString UserStore::nameProblem(const QString& name)
{
    if (name.isEmpty() || name.size() > kMaxName)
        return QStringLiteral("a user name has 1 to %1 characters").arg(kMaxName);
    for (QChar c : name) {
        // the console sends the name unescaped in the request address
        if (c.unicode() <= 0x20 || c.unicode() > 0x7E || c == u'&' || c == u'=' || c == u'#' || c == u'%' || c == u'+'
            || c == u'?' || c == u',')
            return QStringLiteral("a user name holds ASCII letters, digits and signs other than & = # % + ? ,");
    }
    return {};
}

QString UserStore::passwordProblem(const QString& password)
{
    if (password.isEmpty() || password.size() > kMaxPassword)
        return QStringLiteral("a password has 1 to %1 characters").arg(kMaxPassword);
    for (QChar c : password) {
        // the console sends each character as one Latin-1 code
        if (c.unicode() > 0xFF || c.unicode() < 0x20)
            return QStringLiteral("a password holds only Latin-1 characters (no control characters)");
    }
    return {};
}

bool UserStore::addUser(const QString& name, const QString& password)
{
    if (const QString problem = nameProblem(name); !problem.isEmpty()) {
        lastError_ = problem;
        return false;
    }
    if (const QString problem = passwordProblem(password); !problem.isEmpty()) {
        lastError_ = problem;
        return false;
    }
    QByteArray salt(kSaltBytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()), kSaltBytes / 4);
    QSqlQuery remove(db_);
    remove.prepare(QStringLiteral("DELETE FROM users WHERE name = ?"));
    remove.addBindValue(name);
    QSqlQuery insert(db_);
    insert.prepare(QStringLiteral("INSERT INTO users (name, salt, digest, iterations) VALUES (?, ?, ?, ?)"));
    insert.addBindValue(name);
    insert.addBindValue(QString::fromLatin1(salt.toBase64()));
    insert.addBindValue(QString::fromLatin1(Digest(password, salt, kIterations).toBase64()));
    insert.addBindValue(kIterations);
    if (!db_.transaction() || !remove.exec() || !insert.exec() || !db_.commit()) {
        lastError_ = QStringLiteral("cannot store the user: %1")
                         .arg(insert.lastError().isValid() ? insert.lastError().text() : db_.lastError().text());
        db_.rollback();
        return false;
    }
    return true;
}

bool UserStore::removeUser(const QString& name)
{
    QSqlQuery remove(db_);
    remove.prepare(QStringLiteral("DELETE FROM users WHERE name = ?"));
    remove.addBindValue(name);
    if (!remove.exec()) {
        lastError_ = remove.lastError().text();
        return false;
    }
    if (remove.numRowsAffected() < 1) {
        lastError_ = QStringLiteral("no user \"%1\"").arg(name);
        return false;
    }
    return true;
}

QStringList UserStore::users()
{
    QStringList names;
    QSqlQuery list(db_);
    if (!list.exec(QStringLiteral("SELECT name FROM users ORDER BY name"))) {
        lastError_ = list.lastError().text();
        return names;
    }
    while (list.next())
        names << list.value(0).toString();
    return names;
}

bool UserStore::checkPassword(const QString& name, const QString& password)
{
    if (!nameProblem(name).isEmpty() || password.size() > kMaxPassword)
        return false;
    QSqlQuery find(db_);
    find.prepare(QStringLiteral("SELECT salt, digest, iterations FROM users WHERE name = ?"));
    find.addBindValue(name);
    if (!find.exec() || !find.next())
        return false;
    const QByteArray salt = QByteArray::fromBase64(find.value(0).toString().toLatin1());
    const QByteArray digest = QByteArray::fromBase64(find.value(1).toString().toLatin1());
    const int iterations = find.value(2).toInt();
    if (iterations < 1 || iterations > 10'000'000)
        return false;
    return SameBytes(Digest(password, salt, iterations), digest);
}
