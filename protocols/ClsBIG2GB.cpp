// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocols/ClsBIG2GB.h"

#include "platform/CodePage.h"
#include "platform/SystemLocale.h"

#include <QFile>
#include <QtEndian>

#include <vector>

namespace {

constexpr int kGbCodePage = 936;
constexpr int kBig5CodePage = 950;

struct Tables
{
    std::vector<uint16_t> gbToBig5;
    std::vector<uint16_t> big5ToGb;
    bool loaded = false;
};

// A table resource is a plain array of little-endian 16-bit codes; anything of another
// size is refused.
bool readTable(const QString& name, int entries, std::vector<uint16_t>& table)
{
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (bytes.size() != qsizetype(entries) * 2)
        return false;
    table.resize(size_t(entries));
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    for (int i = 0; i < entries; ++i)
        table[size_t(i)] = qFromLittleEndian<quint16>(p + 2 * i);
    return true;
}

// Read once per process; every object shares them.
const Tables& tables()
{
    static const Tables shared = [] {
        Tables t;
        t.loaded = readTable(QStringLiteral(":/tables/gb2big5.tbl"), ClsBIG2GB::kGbEntries, t.gbToBig5)
                   && readTable(QStringLiteral(":/tables/big52gb.tbl"), ClsBIG2GB::kBig5Entries, t.big5ToGb);
        return t;
    }();
    return shared;
}

// Table index of a pair, or -1 when the pair is not of the class or falls outside the table.
int gbIndex(uchar b0, uchar b1)
{
    if (b0 < 0xA1 || b1 < 0xA1 || b1 > 0xFE)
        return -1;
    const int index = (b0 - 0xA1) * 94 + (b1 - 0xA1);
    return index < ClsBIG2GB::kGbEntries ? index : -1;
}

int big5Index(uchar b0, uchar b1)
{
    if (b0 < 0xA1)
        return -1;
    int index;
    if (b1 >= 0x40 && b1 <= 0x7E)
        index = (b0 - 0xA1) * 157 + (b1 - 0x40);
    else if (b1 >= 0xA1 && b1 <= 0xFE)
        index = (b0 - 0xA1) * 157 + (b1 - 0xA1) + 63;
    else
        return -1;
    return index < ClsBIG2GB::kBig5Entries ? index : -1;
}

using IndexFn = int (*)(uchar, uchar);

QByteArray convertBytes(const QByteArray& bytes, const uint16_t* table, IndexFn indexOf)
{
    const qsizetype n = bytes.size();
    QByteArray out(n, '\0');
    const auto* in = reinterpret_cast<const uchar*>(bytes.constData());
    char* o = out.data();
    bool pending = false;
    uchar lead = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const uchar b = in[i];
        if (!pending) {
            if (b >= 0xA1 && b <= 0xFE) {
                pending = true;
                lead = b;
            } else {
                o[i] = char(b);
            }
            continue;
        }
        pending = false;
        const int index = indexOf(lead, b);
        if (index >= 0) {
            o[i - 1] = char(table[index] >> 8);
            o[i] = char(table[index] & 0xFF);
        } else {
            o[i - 1] = char(lead);
            o[i] = char(b);
        }
    }
    return out;
}

// Each output unit (one converted pair or one passed-through byte) is read on its own in
// the system code page. Units that the code page is known to read the same way inside a
// longer run are gathered and read in one go; the others are read one at a time.
class UnitReader
{
public:
    explicit UnitReader(int codePage)
        : codePage_(codePage), kind_(codePage == kGbCodePage                                       ? Kind::Gbk
                                     : codePage == kBig5CodePage                                   ? Kind::Big5
                                     : (codePage == 874 || (codePage >= 1250 && codePage <= 1258)) ? Kind::SingleByte
                                                                                                   : Kind::Other)
    { }

    void byte(uchar b)
    {
        if (b < 0x80 || kind_ == Kind::SingleByte)
            run_.append(char(b));
        else
            alone(QByteArray(1, char(b)));
    }

    void pair(uchar hi, uchar lo)
    {
        if (pairStandsAlone(hi, lo)) {
            run_.append(char(hi));
            run_.append(char(lo));
        } else {
            const char unit[2] = {char(hi), char(lo)};
            alone(QByteArray(unit, 2));
        }
    }

    QString finish()
    {
        flush();
        return text_;
    }

private:
    enum class Kind { SingleByte, Gbk, Big5, Other };

    // True when the pair is read as one whole unit, leaving nothing pending for what follows.
    bool pairStandsAlone(uchar hi, uchar lo) const
    {
        if (hi < 0x80 && lo < 0x80)
            return true;
        const bool lowTrail = lo >= 0x40 && lo <= 0x7E;
        switch (kind_) {
        case Kind::SingleByte: return true;
        case Kind::Gbk: return hi >= 0x81 && hi <= 0xFE && (lowTrail || (lo >= 0x80 && lo <= 0xFE));
        case Kind::Big5: return hi >= 0x81 && hi <= 0xFE && (lowTrail || (lo >= 0xA1 && lo <= 0xFE));
        case Kind::Other: return false;
        }
        return false;
    }

    void alone(const QByteArray& unit)
    {
        flush();
        text_ += platform::BytesToText(unit, codePage_).text;
    }

    void flush()
    {
        if (run_.isEmpty())
            return;
        text_ += platform::BytesToText(run_, codePage_).text;
        run_.clear();
    }

    int codePage_;
    Kind kind_;
    QByteArray run_;
    QString text_;
};

QString convertText(const QString& text, int sourceCodePage, const uint16_t* table, IndexFn indexOf)
{
    const QByteArray bytes = platform::TextToBytes(text, sourceCodePage).bytes;
    const auto* in = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    UnitReader reader(platform::SystemAnsiCodePage());
    for (qsizetype i = 0; i < n;) {
        const int index = i + 1 < n ? indexOf(in[i], in[i + 1]) : -1;
        if (index >= 0) {
            reader.pair(uchar(table[index] >> 8), uchar(table[index] & 0xFF));
            i += 2;
        } else {
            reader.byte(in[i]);
            i += 1;
        }
    }
    return reader.finish();
}

} // namespace

ClsBIG2GB::ClsBIG2GB()
{
    const Tables& t = tables();
    if (t.loaded) {
        gbToBig5_ = t.gbToBig5.data();
        big5ToGb_ = t.big5ToGb.data();
        loaded_ = true;
    }
}

QString ClsBIG2GB::GB2BIG(const QString& text) const
{
    return loaded_ ? convertText(text, kGbCodePage, gbToBig5_, gbIndex) : text;
}

QString ClsBIG2GB::BIG2GB(const QString& text) const
{
    return loaded_ ? convertText(text, kBig5CodePage, big5ToGb_, big5Index) : text;
}

QByteArray ClsBIG2GB::GB2BIGByte(const QByteArray& bytes) const
{
    return loaded_ ? convertBytes(bytes, gbToBig5_, gbIndex) : bytes;
}

QByteArray ClsBIG2GB::BIG2GBByte(const QByteArray& bytes) const
{
    return loaded_ ? convertBytes(bytes, big5ToGb_, big5Index) : bytes;
}
