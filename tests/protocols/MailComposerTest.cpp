// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocols/HeaderField.h"
#include "protocols/MailComposer.h"

#include <QTimeZone>
#include <gtest/gtest.h>

namespace {

const QDateTime kNoon(QDate(2026, 12, 6), QTime(21, 48, 16), QTimeZone(8 * 3600));

QList<QByteArray> lines(const QByteArray& text)
{
    QList<QByteArray> out = text.split('\n');
    for (QByteArray& l : out)
        if (l.endsWith('\r'))
            l.chop(1);
    return out;
}

} // namespace

// Whole messages are checked byte for byte as servers receive them: a plain one by the
// scripted SMTP dialogue (cSmtpTest), an encoded reply in a thread by the SMTP sink
// (AutoReply in the mail tests), both with the date. Here are the pieces at their edges.
TEST(MailComposer, TheBodyTravelsInAnEncodingThatSuitsIt)
{
    const QString longLine = QString(1200, QLatin1Char('x'));
    const struct
    {
        const char* what;
        QString text;
        const char* encoding;
        QByteArray body;
    } rows[] = {
        {"ASCII stays as written", "one\r\ntwo", "7bit", "one\r\ntwo\r\n"},
        {"bare line ends become CR LF", "a\nb\rc\r\n", "7bit", "a\r\nb\r\nc\r\n"},
        {"mostly ASCII stays readable", QString::fromUtf8("Caf\u00e9 at noon = fine "), "quoted-printable",
         "Caf=C3=A9 at noon =3D fine=20\r\n"},
        {"a line too long for the wire", longLine, "quoted-printable", QByteArray()},
        {"control characters are not 7bit", QStringLiteral("bell\a"), "quoted-printable", "bell=07\r\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        MailComposer mail;
        mail.From = "a@b.c";
        mail.Text = row.text;
        const QByteArray message = mail.compose(kNoon);
        const qsizetype split = message.indexOf("\r\n\r\n");
        ASSERT_GE(split, 0);
        const QByteArray head = message.left(split + 2), body = message.mid(split + 4);
        EXPECT_EQ(HeaderField(QString::fromLatin1(head), u"Content-Transfer-Encoding"), row.encoding);
        if (!row.body.isEmpty()) {
            EXPECT_EQ(body, row.body);
        }
        for (const QByteArray& line : lines(body))
            EXPECT_LE(line.size(), 76);
    }
}

// The thread: the parent's References then the parent; without References its one
// In-Reply-To; ids that are not ids dropped; a long thread keeps its first and last ids.
TEST(MailComposer, RepliesJoinTheThreadOfTheMailAnswered)
{
    QString longThread;
    for (int i = 0; i < 40; ++i)
        longThread += QStringLiteral("<t%1@example.org> ").arg(i);
    const struct
    {
        const char* what;
        QString messageId, references, inReplyTo;
        QByteArray inReplyToField; // empty: no threading fields at all
        QList<QByteArray> thread;
    } rows[] = {
        {"parent named in In-Reply-To", "<b@x>", "", "<a@x>", "<b@x>", {"<a@x>", "<b@x>"}},
        {"garbage in the ids",
         " junk <c@x> (comment)",
         "<a@x> not-an-id <b@x> <bad id@x> <",
         "",
         "<c@x>",
         {"<a@x>", "<b@x>", "<c@x>"}},
        {"no Message-ID", "", "<a@x>", "<a@x>", "", {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        MailComposer mail;
        mail.RepliedMessageID = row.messageId;
        mail.RepliedReferences = row.references;
        mail.RepliedInReplyTo = row.inReplyTo;
        const QString head = QString::fromLatin1(mail.compose(kNoon));
        EXPECT_EQ(HeaderField(head, u"In-Reply-To").toLatin1(), row.inReplyToField);
        EXPECT_EQ(MailComposer::MessageIds(HeaderField(head, u"References")), row.thread);
    }

    MailComposer mail;
    mail.RepliedMessageID = "<new@example.org>";
    mail.RepliedReferences = longThread;
    const QByteArray message = mail.compose(kNoon);
    const QList<QByteArray> thread = MailComposer::MessageIds(HeaderField(QString::fromLatin1(message), u"References"));
    ASSERT_EQ(thread.size(), MailComposer::kMaxReferences);
    EXPECT_EQ(thread.first(), "<t0@example.org>");
    EXPECT_EQ(thread[1], "<t22@example.org>");
    EXPECT_EQ(thread.last(), "<new@example.org>");
    for (const QByteArray& line : lines(message))
        EXPECT_LE(line.size(), MailComposer::kFoldWidth);
}
