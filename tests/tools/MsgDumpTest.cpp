// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace {

struct DumpResult
{
    int exitCode;
    QJsonObject json;
    QByteArray err;
};

DumpResult msgdump(const QStringList& args, const QByteArray& input = QByteArray())
{
    const auto run = testing_support::runProgram(QStringLiteral(KORVALEN_MSGDUMP), args, input);
    return {run.exitCode, QJsonDocument::fromJson(run.out).object(), run.err};
}

} // namespace

TEST(MsgDump, PrintsDecodedFieldsRefusesBadOptionsAndSurvivesAnyFile)
{
    testing_support::TempFolder dir;
    dir.write("m.eml", "Subject: =?big5?B?pKSk5Q==?=\nDate: Tue, 4 Feb 03 1:00\nMIME-Version: 1.0\n"
                       "Content-Type: text/plain; charset=gb2312\n\n\xD6\xD0\xCE\xC4\n");
    DumpResult r = msgdump({dir.file("m.eml")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.json["Subject"].toString(), QString::fromUtf8("中文"));
    EXPECT_EQ(r.json["SubjectByte"].toString(), "a4a4a4e5");
    EXPECT_EQ(r.json["MessageBody"].toString(), QString::fromUtf8("中文 "));
    EXPECT_EQ(r.json["MessageBodyByte"].toString(), "d6d0cec40d0a"); // bare line feeds end as CRLF
    EXPECT_EQ(r.json["YearNum"].toInt(), 2003);

    // Header only, on a traditional-Chinese system, from standard input.
    r = msgdump({"--header-only", "--lcid", "1028", "-"}, "Subject: \xA4\xA4\r\n\r\nbody");
    EXPECT_EQ(r.json["Subject"].toString(), QString::fromUtf8("中"));
    EXPECT_FALSE(r.json.contains("MessageBody"));

    // bad options are refused; any file is survived
    EXPECT_EQ(msgdump({"/no/such/file"}).exitCode, 2);
    EXPECT_EQ(msgdump({"--codepage", "99999", "-"}).exitCode, 2);
    EXPECT_EQ(msgdump({"--lcid", "x", "-"}).exitCode, 2);

    QByteArray garbage;
    for (int i = 0; i < 70000; ++i)
        garbage.append(char((i * 7919) >> 3));
    r = msgdump({"-"}, garbage);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.json.contains("Headers"));
    EXPECT_TRUE(r.err.contains("no blank line"));
}
