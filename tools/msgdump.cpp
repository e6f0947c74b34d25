// SPDX-License-Identifier: GPL-3.0-or-later
// korvalen-msgdump: shows how the program decodes a raw mail file, as JSON.
#include "platform/CodePage.h"
#include "platform/SystemLocale.h"
#include "protocols/CMessage.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

// Mail on disk usually has bare LF line ends; the program receives CR LF.
QByteArray withCrLf(const QByteArray& in)
{
    QByteArray out;
    out.reserve(in.size() + in.size() / 32);
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '\n' && (i == 0 || in[i - 1] != '\r'))
            out.append('\r');
        out.append(in[i]);
    }
    return out;
}

QJsonObject fields(const CMessage& m, bool withBody)
{
    QJsonObject o{
        {"Headers", m.Headers},
        {"ReturnPath", m.ReturnPath},
        {"Received", m.Received},
        {"MessageID", m.MessageID},
        {"MessageTo", m.MessageTo},
        {"CC", m.CC},
        {"BCC", m.BCC},
        {"Sender", m.Sender},
        {"ReplyTo", m.ReplyTo},
        {"InReplyTo", m.InReplyTo},
        {"References", m.References},
        {"Keywords", m.Keywords},
        {"Comments", m.Comments},
        {"Encrypted", m.Encrypted},
        {"SendDate", m.SendDate},
        {"DayNum", m.DayNum()},
        {"MonthNum", m.MonthNum()},
        {"YearNum", m.YearNum()},
        {"FromOrg", m.FromOrg()},
        {"From", m.From},
        {"FromByte", QString::fromLatin1(m.FromByte().toHex())},
        {"FromCharset", m.FromCharset()},
        {"Subject", m.Subject},
        {"SubjectByte", QString::fromLatin1(m.SubjectByte().toHex())},
        {"SubjectCharset", m.SubjectCharset()},
        {"Charset", m.Charset()},
        {"MimeVersion", m.MimeVersion()},
        {"ContentType", m.ContentType()},
        {"Boundary", m.Boundary()},
        {"TransferEncoding", m.TransferEncoding()},
    };
    if (withBody) {
        o.insert("MessageBody", m.MessageBody());
        o.insert("MessageBodyByte", QString::fromLatin1(m.MessageBodyByte().toHex()));
        o.insert("Size", m.Size());
    }
    return o;
}

int fail(const QString& message)
{
    std::fprintf(stderr, "korvalen-msgdump: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription("Decodes a raw mail file as the program does and prints every field as JSON.\n"
                                     "Byte fields are hex; charset codes: 1 plain, 2 Big5, 3 GB2312, 4 UTF-8.");
    parser.addHelpOption();
    parser.addPositionalArgument("file", "The raw message (\"-\" reads standard input).");
    parser.addOption({"header-only", "Decode the header block only, as after a TOP command."});
    parser.addOption({"lcid",
                      "Pretend the system locale is <id>: 1028 traditional Chinese, "
                      "2052 simplified Chinese, 1033 English. Decimal or 0x hex.",
                      "id"});
    parser.addOption({"codepage", "Pretend the system code page is <n> (950, 936, 1252, ...).", "n"});
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    if (args.size() != 1)
        return fail("give exactly one message file (see --help)");

    if (parser.isSet("lcid")) {
        bool ok = false;
        const int lcid = parser.value("lcid").toInt(&ok, 0);
        if (!ok || lcid <= 0 || lcid > 0xFFFF)
            return fail("--lcid wants a locale number such as 1028, 2052 or 1033");
        platform::SetSystemLcidOverride(lcid);
    }
    if (parser.isSet("codepage")) {
        bool ok = false;
        const int codePage = parser.value("codepage").toInt(&ok);
        if (!ok || codePage <= 0 || !platform::CodePageKnown(codePage))
            return fail("--codepage wants a code page this system can convert, such as 950, 936 or 1252");
        platform::SetSystemCodePageOverride(codePage);
    }

    QFile file;
    const bool opened = args[0] == "-" ? file.open(stdin, QIODevice::ReadOnly)
                                       : (file.setFileName(args[0]), file.open(QIODevice::ReadOnly));
    if (!opened)
        return fail(QString("cannot read %1: %2").arg(args[0], file.errorString()));
    const QByteArray raw = withCrLf(file.readAll());

    CMessage message;
    const bool headerOnly = parser.isSet("header-only");
    if (headerOnly)
        message.CreateHeader(raw);
    else
        message.CreateFromText(raw);
    if (!raw.contains("\r\n\r\n"))
        std::fprintf(stderr, "korvalen-msgdump: no blank line after the header block\n");
    const QByteArray json = QJsonDocument(fields(message, !headerOnly)).toJson();
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    return 0;
}
