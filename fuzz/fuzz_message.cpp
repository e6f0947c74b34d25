// SPDX-License-Identifier: GPL-3.0-or-later
// Several messages through one CMessage, as in a mailbox session; each must read exactly as it
// does in a new CMessage, since nothing of one message may decide about the next. The input is
// split on "\n\0\0\n" into up to three messages. The first byte picks the system (low 2 bits)
// and, two bits per message, how it is fed: 0 text, 1 header then text, 2 header only,
// 3 header and text as a QString.
#include "FuzzSupport.h"
#include "protocols/CMessage.h"

static unsigned touchAll(const CMessage& m, int lcid)
{
    unsigned sum = 0;
    for (const QString* s :
         {&m.Headers, &m.ReturnPath, &m.Received, &m.MessageID, &m.MessageTo, &m.CC, &m.BCC, &m.Sender, &m.ReplyTo,
          &m.InReplyTo, &m.References, &m.Keywords, &m.Comments, &m.Encrypted, &m.SendDate, &m.From, &m.Subject})
        sum += fuzz::Touch(*s);
    sum += m.DayNum() + m.MonthNum() + m.YearNum() + m.FromCharset() + m.SubjectCharset() + m.Charset() + m.Size()
           + m.TransferEncoding();
    sum += fuzz::Touch(m.FromOrg()) + fuzz::Touch(m.SubjectOrg()) + fuzz::Touch(m.FromByte())
           + fuzz::Touch(m.SubjectByte()) + fuzz::Touch(m.MessageBody()) + fuzz::Touch(m.MessageBodyByte())
           + fuzz::Touch(m.MimeVersion()) + fuzz::Touch(m.ContentType()) + fuzz::Touch(m.Boundary());
    sum += CMessage::IdentifyBytesCharset(m.MessageBodyByte()) + CMessage::IdentifyStringCharset(m.MessageBody(), lcid)
           + CMessage::IdentifyStringCharset(m.Subject, lcid);
    return sum;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t selector = data[0];
    const int lcid = fuzz::PickSystem(selector & 3, 3);
    const QByteArray all = fuzz::Bytes(data + 1, size - 1);
    static const QByteArray separator("\n\0\0\n", 4);

    CMessage message;
    const auto feed = [](CMessage& m, int how, const QByteArray& text) {
        switch (how) {
        case 0: m.CreateFromText(text); break;
        case 1:
            m.CreateHeader(text);
            m.CreateFromText(text);
            break;
        case 2: m.CreateHeader(text); break;
        case 3: {
            const QString unicode = QString::fromUtf8(text);
            m.CreateHeader(unicode);
            m.CreateFromText(unicode);
            break;
        }
        }
    };
    unsigned sum = 0;
    qsizetype from = 0;
    for (int i = 0; i < 3 && from <= all.size(); ++i) {
        qsizetype to = i < 2 ? all.indexOf(separator, from) : -1;
        if (to < 0)
            to = all.size();
        const QByteArray text = all.mid(from, to - from);
        from = to + separator.size();

        const int how = selector >> (2 + 2 * i) & 3;
        feed(message, how, text);
        CMessage fresh;
        feed(fresh, how, text);
        const unsigned seen = touchAll(message, lcid);
        if (seen != touchAll(fresh, lcid))
            fuzz::Fail("a reused message reads unlike a new one", i, how);
        sum += seen;
    }
    fuzz::Keep(sum);
    return 0;
}
