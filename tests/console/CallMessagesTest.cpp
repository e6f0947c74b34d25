// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/CallDatagram.h"

#include <QByteArrayList>
#include <gtest/gtest.h>

using namespace callmsg;

TEST(CallMessages, CallRequestsAreReadOnlyWhenWellFormed)
{
    const QByteArray good = MakeRequest(QStringLiteral("alice, the 1st"), QStringLiteral("secret"), 9595);
    const auto r = ReadRequest(good);
    ASSERT_TRUE(r);
    EXPECT_EQ(std::tuple(r->name, r->key, r->port), std::tuple(QString("alice the 1st"), QString("secret"), 9595))
        << "commas in the name would split the fields";

    // Between the bars: too few or too many fields, ports out of range, a key or port not a number.
    const QList<QByteArray> bad =
        QByteArray("|alice|alice,1-2|alice,1-2,9595,extra|alice,1-2,0|alice,1-2,65536|alice,1-2,-5|alice,12a,9595|"
                   ",1-2,9595|alice,1-2,95x5")
            .split('|');
    for (const QByteArray& b : bad)
        EXPECT_FALSE(ReadRequest(b)) << b.constData();
    // A garbled key decodes to something, never a crash.
    EXPECT_TRUE(ReadRequest("bob,99999999999999999999-0--,1"));
}

TEST(CallMessages, AudioCarriesOneBlockAndItsSequence)
{
    const QByteArray block(kGsmBlockBytes, 'g');
    const QByteArray p = MakeAudio(block.constData(), 0xABCD);
    ASSERT_EQ(p.size(), kAudioPayload);
    const auto a = ReadAudio(p);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->sequence, 0xABCD);
    EXPECT_EQ(QByteArray(a->gsm, kGsmBlockBytes), block);
    EXPECT_FALSE(ReadAudio(p.left(kAudioPayload - 1)));
    EXPECT_FALSE(ReadAudio(p + 'x'));
}

TEST(CallMessages, DigitsAreKeypadKeysOnly)
{
    for (QChar k : QStringLiteral("0123456789*#"))
        EXPECT_EQ(ReadDigit(MakeDigit(k)), k);
    for (const QByteArray& b : {QByteArray(), QByteArray("A"), QByteArray("12"), QByteArray(1, '\0')})
        EXPECT_FALSE(ReadDigit(b));
    EXPECT_TRUE(MakeDigit(u'x').isEmpty());
}

TEST(CallMessages, NoticesFitOneDatagramAndSurviveAnyScript)
{
    const auto n = ReadNotice(MakeNotice(QStringLiteral("bob"), QStringLiteral("Hi\n你好")));
    ASSERT_TRUE(n);
    EXPECT_EQ(std::pair(n->name, n->text), std::pair(QStringLiteral("bob"), QStringLiteral("Hi\n你好")));

    const QString longText = QString(2000, u'x') + QStringLiteral("你");
    const QByteArray p = MakeNotice(QStringLiteral("bob"), longText);
    EXPECT_LE(p.size(), kMaxPayload);
    const auto cut = ReadNotice(p);
    ASSERT_TRUE(cut);
    EXPECT_TRUE(longText.startsWith(cut->text));
    EXPECT_GT(cut->text.size(), 50);
    for (const QByteArray& b : {QByteArray("nocomma"), QByteArray("a,b,c"), QByteArray("a,12x")})
        EXPECT_FALSE(ReadNotice(b)) << b.constData();
}
