// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/speech/SpeechTables.h"

#include <QHash>
#include <algorithm>
#include <cmath>

namespace platform {

std::optional<OutputFormat> OutputFormatOf(int formatType)
{
    static constexpr int kRates[] = {8000, 11025, 12000, 16000, 22050, 24000, 32000, 44100};
    if (formatType < 4 || formatType > 35)
        return std::nullopt;
    const int i = formatType - 4;
    return OutputFormat{kRates[i / 4], i % 2 + 1, i % 4 < 2 ? 8 : 16};
}

int WordsPerMinute(int rate)
{
    rate = std::clamp(rate, -10, 10);
    return std::clamp(int(std::lround(175.0 * std::pow(3.0, rate / 10.0))), 80, 525);
}

int EngineVolume(int volume)
{
    volume = std::clamp(volume, 0, 100);
    return volume == 0 ? 0 : int(std::lround(2.0 + (volume - 1) * 98.0 / 99.0));
}

int WordGap(int rate)
{
    switch (std::clamp(rate, -10, 10)) {
    case -10: return 7;
    case -9: return 4;
    case -8: return 2;
    default: return 0;
    }
}

int VisemeOfPhoneme(QStringView ipa)
{
    struct Shape
    {
        const char16_t* prefix;
        int viseme;
    };
    static constexpr Shape kShapes[] = {
        {u"æ", 1},   {u"ə", 1},   {u"ʌ", 1},  {u"ɐ", 1},   {u"ɤ", 1},   {u"ɑ", 2},   {u"a", 2},   {u"ɔ", 3},
        {u"ɒ", 3},   {u"e", 4},   {u"ɛ", 4},  {u"ʊ", 4},   {u"eɪ", 4},  {u"ɚ", 5},   {u"ɝ", 5},   {u"ɜ", 5},
        {u"i", 6},   {u"ɪ", 6},   {u"ᵻ", 6},  {u"ɨ", 6},   {u"j", 6},   {u"u", 7},   {u"w", 7},   {u"y", 7},
        {u"ɥ", 7},   {u"o", 8},   {u"oʊ", 8}, {u"əʊ", 8},  {u"aʊ", 9},  {u"au", 9},  {u"ɔɪ", 10}, {u"oi", 10},
        {u"aɪ", 11}, {u"ai", 11}, {u"h", 12}, {u"χ", 12},  {u"x", 12},  {u"ɹ", 13},  {u"r", 13},  {u"ʐ", 13},
        {u"l", 14},  {u"ɫ", 14},  {u"s", 15}, {u"z", 15},  {u"ts", 15}, {u"dz", 15}, {u"ʃ", 16},  {u"ʒ", 16},
        {u"tʃ", 16}, {u"dʒ", 16}, {u"ɕ", 16}, {u"tɕ", 16}, {u"ʂ", 16},  {u"tʂ", 16}, {u"θ", 17},  {u"ð", 17},
        {u"f", 18},  {u"v", 18},  {u"t", 19}, {u"d", 19},  {u"n", 19},  {u"ɾ", 19},  {u"ʔ", 19},  {u"k", 20},
        {u"g", 20},  {u"ɡ", 20},  {u"ŋ", 20}, {u"p", 21},  {u"b", 21},  {u"m", 21},
    };
    QString bare;
    bare.reserve(ipa.size());
    for (QChar c : ipa)
        if (c != u'ˈ' && c != u'ˌ' && c != u'ː')
            bare.append(c);
    int best = 0;
    qsizetype bestLength = 0;
    for (const Shape& s : kShapes) {
        const QStringView prefix(s.prefix);
        if (prefix.size() > bestLength && bare.startsWith(prefix)) {
            best = s.viseme;
            bestLength = prefix.size();
        }
    }
    return best;
}

QString LanguageIdOf(const QString& languageCode)
{
    static const QHash<QString, QString> kIds = {
        {"af", "436"},     {"am", "45E"},    {"ar", "401"},    {"as", "44D"},      {"az", "42C"}, {"ba", "46D"},
        {"be", "423"},     {"bg", "402"},    {"bn", "445"},    {"bs", "141A"},     {"ca", "403"}, {"chr", "45C"},
        {"cmn", "804"},    {"cs", "405"},    {"cy", "452"},    {"da", "406"},      {"de", "407"}, {"el", "408"},
        {"en", "409"},     {"en-us", "409"}, {"en-gb", "809"}, {"en-029", "2409"}, {"es", "C0A"}, {"es-419", "580A"},
        {"et", "425"},     {"eu", "42D"},    {"fa", "429"},    {"fi", "40B"},      {"fr", "40C"}, {"fr-be", "80C"},
        {"fr-ch", "100C"}, {"ga", "83C"},    {"gd", "491"},    {"gn", "474"},      {"gu", "447"}, {"haw", "475"},
        {"he", "40D"},     {"hi", "439"},    {"hr", "41A"},    {"hu", "40E"},      {"hy", "42B"}, {"id", "421"},
        {"is", "40F"},     {"it", "410"},    {"ja", "411"},    {"ka", "437"},      {"kk", "43F"}, {"kl", "46F"},
        {"kn", "44B"},     {"ko", "412"},    {"kok", "457"},   {"ku", "492"},      {"ky", "440"}, {"lb", "46E"},
        {"lt", "427"},     {"lv", "426"},    {"mi", "481"},    {"mk", "42F"},      {"ml", "44C"}, {"mr", "44E"},
        {"ms", "43E"},     {"mt", "43A"},    {"my", "455"},    {"nb", "414"},      {"ne", "461"}, {"nl", "413"},
        {"om", "472"},     {"or", "448"},    {"pa", "446"},    {"pl", "415"},      {"pt", "816"}, {"pt-br", "416"},
        {"qu", "46B"},     {"quc", "486"},   {"ro", "418"},    {"ru", "419"},      {"sd", "859"}, {"si", "45B"},
        {"sk", "41B"},     {"sl", "424"},    {"sq", "41C"},    {"sr", "281A"},     {"sv", "41D"}, {"sw", "441"},
        {"ta", "449"},     {"te", "44A"},    {"th", "41E"},    {"tk", "442"},      {"tn", "432"}, {"tr", "41F"},
        {"tt", "444"},     {"ug", "480"},    {"uk", "422"},    {"ur", "420"},      {"uz", "443"}, {"vi", "42A"},
        {"yue", "C04"},
    };
    // the most specific code that has an id: "en-gb-scotland" is British English
    QString code = languageCode.toLower();
    while (!code.isEmpty()) {
        const auto it = kIds.constFind(code);
        if (it != kIds.constEnd())
            return *it;
        const qsizetype dash = code.lastIndexOf(u'-');
        code.truncate(dash < 0 ? 0 : dash);
    }
    return {};
}

qsizetype PieceEnd(QStringView text, qsizetype from, qsizetype maxLength)
{
    const qsizetype size = text.size();
    from = std::clamp<qsizetype>(from, 0, size);
    maxLength = std::max<qsizetype>(maxLength, 2);
    if (size - from <= maxLength)
        return size;
    const qsizetype limit = from + maxLength;
    auto isSentenceEnd = [](QChar c) {
        return c == u'.' || c == u'!' || c == u'?' || c == u'\n' || c == u'。' || c == u'！' || c == u'？';
    };
    auto isClauseEnd = [](QChar c) {
        return c == u',' || c == u';' || c == u':' || c == u'，' || c == u'；' || c == u'：' || c == u'、';
    };
    // a piece should not be cut so short that the pieces become many
    const qsizetype floor = from + maxLength / 4;
    for (int pass = 0; pass < 3; ++pass) {
        for (qsizetype i = limit; i > floor; --i) {
            const QChar c = text[i - 1];
            const bool ends = pass == 0 ? isSentenceEnd(c) : pass == 1 ? isClauseEnd(c) : c.isSpace();
            if (ends)
                return i;
        }
    }
    return text[limit - 1].isHighSurrogate() ? limit - 1 : limit;
}

} // namespace platform
