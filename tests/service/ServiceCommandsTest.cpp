// SPDX-License-Identifier: GPL-3.0-or-later
// korvalen-service's commands as an administrator runs them.
#include "TestSupport.h"
#include "console/QXRSA_Encode.h"
#include "service/ServiceKeys.h"

#include <gtest/gtest.h>

namespace {

struct Outcome
{
    int code = -1;
    QString out;
};

Outcome Service(const QStringList& args, const QByteArray& input = {})
{
    const auto run = testing_support::runProgram(QStringLiteral(KORVALEN_SERVICE), args, input);
    return {run.exitCode, QString::fromUtf8(run.out + run.err)};
}

// What cannot work is refused and adds no one; then users are added, listed and removed.
TEST(ServiceCommands, RefusesWhatCannotWorkThenAddsListsAndRemovesUsers)
{
    testing_support::TempFolder folder;
    const QString db = folder.file("users.db");
    struct Row
    {
        QStringList args;
        QByteArray input;
        int code;
        const char* says;
    } rows[] = {
        {{"add-user", "a b", "--db", db, "--password", "x"}, {}, 1, "user name"},
        {{"add-user", "carol", "--db", db}, "\n", 1, "password has 1 to"},
        {{"add-user", "carol", "--db", db, "--password", QString::fromUtf8("\xE4\xB8\xAD")}, {}, 1, "Latin-1"},
        {{"add-user", "carol"}, {}, 2, "needs --db"},
        {{"frobnicate"}, {}, 2, "unknown command"},
        {{"serve", "--listen", "127.0.0.1:0"}, {}, 2, "serve needs --db"},
        {{"serve", "--listen", "nowhere", "--db", db, "--keys", "k", "--log", "l"}, {}, 2, "--listen wants"},
        {{"serve", "--listen", "127.0.0.1:0", "--db", db, "--keys", folder.file("none"), "--log", "l"},
         {},
         1,
         "cannot read"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.args.join(' ').toStdString());
        const Outcome run = Service(r.args, r.input);
        EXPECT_EQ(run.code, r.code);
        EXPECT_TRUE(run.out.contains(r.says)) << qPrintable(run.out);
    }
    EXPECT_EQ(Service({"list-users", "--db", db}).out, "");

    EXPECT_EQ(Service({"add-user", "bob", "--db", db}, "from stdin\n").code, 0);
    EXPECT_EQ(Service({"add-user", "alice", "--db", db, "--password", "s3cret"}).code, 0);
    EXPECT_EQ(Service({"list-users", "--db", db}).out, "alice\nbob\n");
    EXPECT_EQ(Service({"remove-user", "bob", "--db", db}).code, 0);
    const Outcome again = Service({"remove-user", "bob", "--db", db});
    EXPECT_EQ(again.code, 1);
    EXPECT_TRUE(again.out.contains("no user \"bob\"")) << qPrintable(again.out);
    EXPECT_EQ(Service({"list-users", "--db", db}).out, "alice\n");

    EXPECT_FALSE(folder.read("users.db").contains("s3cret")); // only a salted digest is kept
}

TEST(ServiceCommands, KeyFileProblemsNameTheLine)
{
    struct Row
    {
        QByteArray text;
        const char* says;
    } rows[] = {
        {"logout = 1,2\nbogus\n", "line 2: expected name"},
        {"# keys\nlogout = 0,3233\n", "line 2: \"logout\" needs"},
        {"logout = 5,46341\n", "line 1"},
        {"colour = 5,7\n", "unknown key \"colour\""},
        {"logout = 5,7\n", "\"presence\" is missing"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text.toStdString());
        QString error;
        EXPECT_FALSE(ServiceKeys::read(r.text, &error).has_value());
        EXPECT_TRUE(error.contains(r.says)) << qPrintable(error);
    }
}

TEST(ServiceCommands, MadeKeysMatchBetweenConsoleAndService)
{
    testing_support::TempFolder folder;
    const QString file = folder.file("keys.ini");
    const Outcome made = Service({"make-keys", "--out", file});
    ASSERT_EQ(made.code, 0) << qPrintable(made.out);
    QString error;
    const auto service = ServiceKeys::read(folder.read("keys.ini"), &error);
    ASSERT_TRUE(service.has_value()) << qPrintable(error);

    QString all;
    for (int c = 0; c < 256; ++c)
        all += QChar(c);
    for (int k = 0; k < ServiceKeys::kPairs; ++k) {
        SCOPED_TRACE(ServiceKeys::kNames[k]);
        // the console's half, as printed for its settings
        const QString prefix = QString::fromLatin1(ServiceKeys::kClientKeys[k]) + u'=';
        const QString line = made.out.section(prefix, 1, 1).section(u'\n', 0, 0);
        const int32_t e = line.section(u',', 0, 0).toInt();
        const int32_t n = line.section(u',', 1, 1).toInt();
        const auto s = service->keys[k];
        ASSERT_EQ(n, s.modulus);
        EXPECT_GE(n, 10000);
        EXPECT_LE(n, 46340);
        EXPECT_EQ(Decode(Encode(all, e, n).replace(u'-', u'+'), s.exponent, n), all);
        EXPECT_EQ(Decode(Encode(all, s.exponent, n).replace(u'-', u'+'), e, n), all);
    }
    // an existing key file is never overwritten
    const Outcome again = Service({"make-keys", "--out", file});
    EXPECT_EQ(again.code, 1);
    EXPECT_TRUE(again.out.contains("exists"));
}

} // namespace
