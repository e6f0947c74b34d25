// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"
#include "platform/CodePage.h"
#include "platform/SystemLocale.h"
#include "protocols/CMessage.h"
#include "protocols/CPostOffice.h"

#include <gtest/gtest.h>

namespace {

QByteArray crlf(QByteArray text)
{
    return text.replace("\r\n", "\n").replace("\n", "\r\n");
}

QByteArray fixture(const char* name)
{
    return crlf(testing_support::readFile(testing_support::sourceDir() + "/tests/fixtures/mail/" + name));
}

// Messages are decoded as on an English system unless a test says otherwise.
class Message : public ::testing::Test
{
protected:
    void SetUp() override { platform::SetSystemLcidOverride(0x0409); }
    void TearDown() override { platform::SetSystemLcidOverride(0); }

    CMessage decoded(const QByteArray& text)
    {
        CMessage m;
        m.CreateFromText(crlf(text));
        return m;
    }
};

const QString kChinese = QString::fromUtf8("中文");

// What the mail client hands over for a TOP or RETR reply longer than its buffer: the first
// kReplyBufferCap bytes of the reply less the status line, closed by the end marker's line feed.
QByteArray cutAtReplyCap(const QByteArray& message)
{
    const QByteArray status = "+OK\r\n";
    return (status + message).left(CPostOffice::kReplyBufferCap).mid(status.size()) + '\n';
}

// Every field a reader of the message sees.
QStringList fieldsOf(const CMessage& m)
{
    QStringList f = {m.Headers,      m.ReturnPath,    m.Received,      m.MessageID,     m.MessageTo,  m.CC,
                     m.BCC,          m.Sender,        m.ReplyTo,       m.InReplyTo,     m.References, m.Keywords,
                     m.Comments,     m.Encrypted,     m.SendDate,      m.From,          m.Subject,    m.FromOrg(),
                     m.SubjectOrg(), m.MessageBody(), m.MimeVersion(), m.ContentType(), m.Boundary()};
    f << QString::fromLatin1(m.FromByte().toHex()) << QString::fromLatin1(m.SubjectByte().toHex())
      << QString::fromLatin1(m.MessageBodyByte().toHex());
    for (int n : {int(m.DayNum()), int(m.MonthNum()), int(m.YearNum()), m.FromCharset(), m.SubjectCharset(),
                  m.Charset(), m.Size(), m.TransferEncoding()})
        f << QString::number(n);
    return f;
}

} // namespace

TEST_F(Message, HeaderFieldsTakeTheFirstLineOfEachHeaderAndTheSenderFallsBack)
{
    CMessage m = decoded("Return-Path: <rp@example.org>\n"
                         "Received: from a\n\tby b\nReceived: from c\n"
                         "From: Ann Lee <ann@example.org>\n"
                         "To: bob@example.org\nCc: carol@example.org\nMessage-ID: <1@x>\n"
                         "Subject: first line\n second line\n"
                         "X-Unknown: ignored\nno separator here\n"
                         "\nbody\n");
    EXPECT_EQ(m.ReturnPath, "<rp@example.org>");
    EXPECT_EQ(m.Received, "from c");
    EXPECT_EQ(m.FromOrg(), "Ann Lee <ann@example.org>");
    EXPECT_EQ(m.From, "Ann Lee ");
    EXPECT_EQ(m.MessageTo, "bob@example.org");
    EXPECT_EQ(m.MessageID, "<1@x>");
    EXPECT_EQ(m.Subject, "first line");
    EXPECT_TRUE(m.Headers.startsWith("Return-Path:") && m.Headers.endsWith("no separator here"));
    // the sender falls back to the return path, then to a placeholder
    EXPECT_EQ(decoded("Return-Path: <rp@x.org>\nFrom:\n\nb").FromOrg(), "<rp@x.org>");
    EXPECT_EQ(decoded("From: \n\nb").FromOrg(), CMessage::kUnknownSender);
    EXPECT_EQ(decoded("From: <a@x.org>\n\nb").From, "<a@x.org>");
}

// The mail client keeps one message object for a mailbox session. A message must never be
// filtered, listed or answered on what an earlier one said: a reused object reads each
// message exactly as a new one does.
TEST_F(Message, EachMessageIsJudgedOnItsOwnFields)
{
    const QByteArray spam = crlf("Return-Path: <win@spam.example>\nFrom: \xA4\xA4 Prize <win@spam.example>\n"
                                 "Subject: \xA4\xA4 You won\nCc: list@spam.example\nMessage-ID: <1@spam>\n"
                                 "Date: Tue, 4 Feb 03 10:00:00\nMIME-Version: 1.0\n"
                                 "Content-Type: text/plain; charset=big5\n\nClaim it now\n");
    const QByteArray bigHeader = cutAtReplyCap(fixture("header-larger-than-reply-cap.eml"));
    enum Feed { Header, Text };
    const struct
    {
        const char* name;
        Feed feed;
        QByteArray received;
        const char* subject;
        const char* from;
    } cases[] = {
        {"header cut at the reply cap", Header, bigHeader, "Minutes of the general meeting", "Board Secretary "},
        {"headers only, no empty line", Header, crlf("From: ann@example.org\nSubject: only headers\n"), "only headers",
         "ann@example.org"},
        {"last line cut short", Header, "From: ann@example.org\r\nSubject: half a li\n", "half a li",
         "ann@example.org"},
        {"no Subject, whole message", Text, crlf("From: bob@example.org\n\nhello\n"), "", "bob@example.org"},
        {"nothing at all", Text, "", "", ""},
    };
    const auto feed = [](CMessage& m, Feed f, const QByteArray& in) {
        f == Header ? m.CreateHeader(in) : m.CreateFromText(in);
    };
    for (const auto& c : cases) {
        for (const Feed spamFeed : {Header, Text}) {
            CMessage reused, fresh;
            feed(reused, spamFeed, spam);
            feed(reused, c.feed, c.received);
            feed(fresh, c.feed, c.received);
            EXPECT_EQ(fieldsOf(reused), fieldsOf(fresh)) << c.name;
            EXPECT_EQ(reused.Subject, c.subject) << c.name;
            EXPECT_EQ(reused.SubjectOrg(), c.subject) << c.name;
            EXPECT_EQ(reused.From, c.from) << c.name;
            EXPECT_EQ(reused.MessageID, "") << c.name;
        }
    }
}

TEST_F(Message, ChineseHeadersDecodeWhateverTheSystemCodePage)
{
    CMessage m;
    m.CreateHeader(crlf("From: =?gb2312?B?1tDOxA==?= <a@b>\nSubject: =?big5?B?pKSk5Q==?=\n\n"));
    EXPECT_EQ(m.Subject, kChinese);
    EXPECT_EQ(m.SubjectByte(), "\xA4\xA4\xA4\xE5");
    EXPECT_EQ(m.SubjectCharset(), CharsetBig5);
    EXPECT_EQ(m.Charset(), CharsetBig5);
    EXPECT_EQ(m.From, kChinese);
    EXPECT_EQ(m.FromCharset(), CharsetGB2312);

    // 8-bit Big5 before the Content-Type that names it.
    m = decoded("Subject: \xA4\xA4\xA4\xE5\nFrom: \xA4\xA4 <a@b>\nMIME-Version: 1.0\n"
                "Content-Type: text/plain; charset=big5\n\nb");
    EXPECT_EQ(m.Subject, kChinese);
    EXPECT_EQ(m.SubjectByte(), "\xA4\xA4\xA4\xE5");
    EXPECT_EQ(m.From, QString::fromUtf8("中 "));
    EXPECT_EQ(m.FromOrg(), QString::fromUtf8("中 <a@b>"));

    // The next header names no charset: its subject is read on its own.
    m.CreateHeader(crlf("Subject: \xA4\xA4\n\n"));
    EXPECT_EQ(m.SubjectCharset(), CharsetNotSet);
    EXPECT_EQ(m.Subject, QString::fromLatin1("\xA4\xA4"));
}

// Signatures and attachments are cut in the test below.
TEST_F(Message, BodiesDecodeByTransferEncodingAndCharset)
{
    const struct
    {
        const char* name;
        QByteArray message;
        QString body;
        QByteArray bytes;
        int charset; // CharsetNotSet: not checked
    } cases[] = {
        {"GB2312 quoted-printable",
         "MIME-Version: 1.0\nContent-Type: text/plain; charset=gb2312\nContent-Transfer-Encoding: quoted-printable\n\n"
         "=D6=D0=CE=C4 soft=\nbreak\n",
         QString::fromUtf8("中文 soft break "), "\xD6\xD0\xCE\xC4 soft break\r\n", CharsetGB2312},
        {"8-bit Big5 on an English system",
         "MIME-Version: 1.0\nContent-Type: text/plain; charset=big5\nContent-Transfer-Encoding: 8bit\n\n"
         "\xA4\xA4\xA4\xE5\nline two\n",
         QString::fromUtf8("中文 line two "), "\xA4\xA4\xA4\xE5\r\nline two\r\n", CharsetBig5},
        {"UTF-8 base64",
         "MIME-Version: 1.0\nContent-Type: text/plain; charset=utf-8\nContent-Transfer-Encoding: "
         "base64\n\n5Lit5paHIQ==\n",
         QString::fromUtf8("中文!"),
         "?"
         "?!",
         CharsetUtf8},
        {"HTML single part",
         "MIME-Version: 1.0\nContent-Type: text/html; charset=iso-8859-1\n\n"
         "<html><body bgcolor=white>Hello<br>world &amp; all</body></html>\n",
         "Hello world & all", "Hello\r\nworld & all", CharsetOther},
        {"non-MIME GB2312", "Subject: s\n\n\xD6\xD0\xCE\xC4\n", "中文\r\n", "\xD6\xD0\xCE\xC4\r\n", CharsetGB2312},
        {"non-MIME Big5 with a low trail byte", "Subject: s\n\n\xD6\xD0\xA4\x40\n", QString::fromUtf8("笢一\r\n"),
         "\xD6\xD0\xA4\x40\r\n", CharsetBig5},
        {"empty body", "MIME-Version: 1.0\n\n", " ", QByteArray(1, '\0'), CharsetNotSet},
    };
    for (const auto& c : cases) {
        CMessage m = decoded(c.message);
        EXPECT_EQ(m.MessageBody(), c.body) << c.name;
        EXPECT_EQ(m.MessageBodyByte().toHex(), c.bytes.toHex()) << c.name;
        EXPECT_EQ(m.Size(), c.bytes.size() - 1) << c.name;
        if (c.charset != CharsetNotSet) {
            EXPECT_EQ(m.Charset(), c.charset) << c.name;
        }
    }
}

// A signature goes from the last rule of 16 or more underscores after a line break; an
// attachment from the first line that starts with "begin " once any such line opens one (the
// body's first line counts as a line too).
TEST_F(Message, BodiesAreCutAtASignatureOrAnAttachment)
{
    const QByteArray rule(16, '_');
    const struct
    {
        const char* name;
        QByteArray body;
        QByteArray kept;
        bool mime = true; // MIME text joins its lines with blanks; plain text keeps them
    } cases[] = {
        {"a rule", "Hi\r\n" + rule + "\r\nsig", "Hi"},
        {"15 are no rule", "Hi\r\n" + rule.chopped(1) + "\r\nsig", "Hi\r\n" + rule.chopped(1) + "\r\nsig"},
        {"a rule inside a line", "a\r\nb " + rule + rule + " c", "a"},
        {"no line break before the rule", rule + "x\r\ny", rule + "x\r\ny"},
        {"attachment on the first line", "begin 644 a.txt\r\n#86)C\r\n`\r\nend\r\n", "", false},
        {"a plain begin line before the attachment", "hi\r\nbegin here\r\nbegin 644 a.txt\r\n`\r\nend\r\n", "hi",
         false},
        {"two digits are no mode", "text\r\nbegin 64 x\r\nmore", "text\r\nbegin 64 x\r\nmore", false},
    };
    for (const auto& c : cases) {
        CMessage m;
        m.CreateFromText((c.mime ? "MIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\n" : "Subject: s\r\n\r\n")
                         + c.body);
        QString text = QString::fromLatin1(c.kept);
        EXPECT_EQ(m.MessageBody(), c.mime ? text.replace("\r\n", " ") : text) << c.name;
        EXPECT_EQ(m.Size(), std::max<qsizetype>(c.kept.size(), 1) - 1) << c.name;
        if (c.mime) {
            EXPECT_EQ(m.MessageBodyByte(), c.kept) << c.name;
        }
    }
}

TEST_F(Message, MultipartBodiesGiveTheirPlainTextPart)
{
    const QByteArray alternative =
        "MIME-Version: 1.0\nContent-Type: multipart/alternative; boundary=\"=_alt\"\n\n"
        "--=_alt\nContent-Type: text/plain; charset=big5\nContent-Transfer-Encoding: base64\n\npKSk5Q==\n"
        "--=_alt\nContent-Type: text/html\n\n<p>html</p>\n--=_alt--\n";
    CMessage m = decoded(alternative);
    EXPECT_EQ(m.MessageBody(), kChinese);
    EXPECT_EQ(m.Charset(), CharsetBig5);

    // A mixed message whose first part is a nested alternative names the inner boundary.
    m = decoded("MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=outer\n\n"
                "--outer\nContent-Type: multipart/alternative; boundary=inner\n\n"
                "--inner\nContent-Type: text/plain\n\nnested text\n--inner\nContent-Type: text/html\n\nx\n--inner--\n"
                "--outer\nContent-Type: application/pdf\n\nPDF\n--outer--\n");
    EXPECT_EQ(m.Boundary(), "inner");
    EXPECT_EQ(m.MessageBody(), "nested text ");

    m.CreateFromText(fixture("unquoted-boundary.eml"));
    EXPECT_EQ(m.MessageBody(), "See you at noon. ");
}

// Mail without MIME names no charset; its body is read in the charset it most likely is.
TEST_F(Message, UnlabelledBodiesAreReadInTheirLikeliestCharset)
{
    const auto in = [](const char* text, int codePage) {
        return platform::TextToBytes(QString::fromUtf8(text), codePage).bytes;
    };
    const char* western = "Une idée naïve.";
    const char* big5 = "大家好：\r\n今天下午三點開會，請準時出席。\r\n謝謝！";
    const struct
    {
        const char* name;
        QByteArray body;
        int charset;
        const char* text;
        QByteArray bytes;
    } cases[] = {
        {"UTF-8", western, CharsetUtf8, western, in(western, 1252)},
        {"Western whose accents look like Big5 pairs", in(western, 1252), CharsetOther, western, in(western, 1252)},
        {"Western punctuation after an accent", "Caf\xE9\x97 bar", CharsetOther, "Café— bar", "Caf\xE9\x97 bar"},
        {"Big5", in(big5, 950), CharsetBig5, big5, in(big5, 950)},
        {"short Big5 that letter statistics take for Western", in("我們明天見面吧", 950), CharsetBig5, "我們明天見面吧",
         in("我們明天見面吧", 950)},
    };
    for (const auto& c : cases) {
        CMessage m;
        m.CreateFromText("Subject: s\r\n\r\n" + c.body);
        EXPECT_EQ(m.Charset(), c.charset) << c.name;
        EXPECT_EQ(m.MessageBody(), QString::fromUtf8(c.text)) << c.name;
        EXPECT_EQ(m.MessageBodyByte().toHex(), c.bytes.toHex()) << c.name;
    }
}

TEST_F(Message, AnyBytesDecodeWithoutHarm)
{
    const QByteArray huge(10 * 1024 * 1024, 'x');
    const QByteArray inputs[] = {
        "",
        "\r\n\r\n",
        "no blank line at all",
        "Subject: =?big5?B?\r\n\r\nb",
        "Subject: =?x?Q?=\r\n\r\n=",
        "Subject: =?utf-8?B?5Lit5?=\r\n\r\nb",
        "From: \xA4\r\nSubject: \xFE\r\n\r\n\xA4",
        QByteArray("Subject: a\0b\r\nMIME-Version: 1\r\n\r\n\0\0\xE4", 36),
        "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\r\n\r\ntext/plain charset",
        "MIME-Version: 1.0\r\nContent-Type: multipart/mixed;\r\n\tboundary=\"\r\n\r\nContent-Type",
        "MIME-Version: 1.0\r\nContent-Transfer-Encoding: base64\r\n\r\nQUJD=",
        "Subject: x\r\n\r\n" + huge,
        "MIME-Version: 1.0\r\nContent-Type: text/html\r\n\r\n<body" + huge,
        "Subject: " + huge + "\r\n\r\nb",
    };
    CMessage m; // one object for all, as in a mailbox session
    for (const QByteArray& in : inputs) {
        m.CreateFromText(in);
        EXPECT_FALSE(m.MessageBodyByte().isEmpty());
        EXPECT_EQ(m.Size(), m.MessageBodyByte().size() - 1);
        m.CreateHeader(in);
    }
    m.CreateFromText(QByteArray("no blank line"));
    EXPECT_EQ(m.MessageBody(), " ");
    EXPECT_EQ(m.MessageBodyByte(), QByteArray(1, '\0'));
}
