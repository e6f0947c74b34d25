// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocols/HtmlToText.h"

#include <QStringView>
#include <algorithm>
#include <array>
#include <string_view>

namespace {

constexpr char16_t kBlank = u' ';

struct Entity
{
    std::u16string_view name;
    char16_t value;
};

// Sorted by name (code-unit order) for binary search; names are case-sensitive.
constexpr auto kEntities = [] {
    auto table = std::to_array<Entity>({
        {u"AElig", u'?'},  {u"Aacute", u'?'}, {u"Acirc", u'?'},  {u"Agrave", u'?'}, {u"Aring", u'?'},
        {u"Atilde", u'?'}, {u"Auml", u'?'},   {u"Ccedil", u'?'}, {u"ETH", u'?'},    {u"Eacute", u'?'},
        {u"Ecirc", u'?'},  {u"Egrave", u'?'}, {u"Euml", u'?'},   {u"Iacute", u'?'}, {u"Icirc", u'?'},
        {u"Igrave", u'?'}, {u"Iuml", u'?'},   {u"Ntilde", u'?'}, {u"Oacute", u'?'}, {u"Ocirc", u'?'},
        {u"Ograve", u'?'}, {u"Oslash", u'?'}, {u"Otilde", u'?'}, {u"Ouml", u'?'},   {u"THORN", u'?'},
        {u"Uacute", u'?'}, {u"Ucirc", u'?'},  {u"Ugrave", u'?'}, {u"Uuml", u'?'},   {u"Yacute", u'?'},
        {u"aacute", u'?'}, {u"acirc", u'?'},  {u"acute", u'?'},  {u"aelig", u'?'},  {u"agrave", u'?'},
        {u"amp", u'&'},    {u"aring", u'?'},  {u"atilde", u'?'}, {u"auml", u'?'},   {u"brvbar", u'|'},
        {u"ccedil", u'?'}, {u"cedil", u'?'},  {u"cent", u'?'},   {u"copy", u'?'},   {u"curren", u'?'},
        {u"deg", u'?'},    {u"divide", u'?'}, {u"eacute", u'?'}, {u"ecirc", u'?'},  {u"egrave", u'?'},
        {u"eth", u'?'},    {u"euml", u'?'},   {u"frac12", u'?'}, {u"frac14", u'?'}, {u"frac34", u'?'},
        {u"gt", u'>'},     {u"iacute", u'?'}, {u"icirc", u'?'},  {u"iexcl", u'?'},  {u"igrave", u'?'},
        {u"iquest", u'?'}, {u"iuml", u'?'},   {u"laquo", u'?'},  {u"lt", u'<'},     {u"macr", u'?'},
        {u"micro", u'?'},  {u"middot", u'?'}, {u"nbsp", u' '},   {u"not", u'?'},    {u"ntilde", u'?'},
        {u"oacute", u'?'}, {u"ocirc", u'?'},  {u"ograve", u'?'}, {u"ordf", u'?'},   {u"ordm", u'?'},
        {u"oslash", u'?'}, {u"otilde", u'?'}, {u"ouml", u'?'},   {u"para", u'?'},   {u"plusmn", u'?'},
        {u"pound", u'?'},  {u"quot", u'"'},   {u"raquo", u'?'},  {u"reg", u'?'},    {u"sect", u'?'},
        {u"sup1", u'?'},   {u"sup2", u'?'},   {u"sup3", u'?'},   {u"szlig", u'?'},  {u"thorn", u'?'},
        {u"times", u'?'},  {u"uacute", u'?'}, {u"ucirc", u'?'},  {u"ugrave", u'?'}, {u"uml", u'?'},
        {u"uuml", u'?'},   {u"yacute", u'?'}, {u"yen", u'?'},    {u"yuml", u'?'},
    });
    std::sort(table.begin(), table.end(), [](const Entity& a, const Entity& b) { return a.name < b.name; });
    return table;
}();

constexpr qsizetype kLongestEntity = 6;

const Entity* findEntity(QStringView name)
{
    if (name.size() > kLongestEntity)
        return nullptr;
    const std::u16string_view key(name.utf16(), size_t(name.size()));
    const auto it = std::lower_bound(kEntities.begin(), kEntities.end(), key,
                                     [](const Entity& e, std::u16string_view k) { return e.name < k; });
    return it != kEntities.end() && it->name == key ? &*it : nullptr;
}

// Tag text compared after lower-casing; only ASCII letters lower-case onto these names.
bool tagIs(QStringView tag, const char* name)
{
    qsizetype i = 0;
    for (; name[i]; ++i) {
        if (i >= tag.size())
            return false;
        char16_t c = tag[i].unicode();
        if (c >= u'A' && c <= u'Z')
            c += u'a' - u'A';
        if (c != char16_t(name[i]))
            return false;
    }
    return i == tag.size();
}

// Position of the next `what` at or after `from`, remembered between calls: callers only move
// forward, so every character is looked at once. `none` is the end of the text.
class NextOf
{
public:
    NextOf(QStringView text, QChar what) : text_(text), what_(what) { }
    qsizetype from(qsizetype start)
    {
        if (pos_ < start) {
            pos_ = text_.indexOf(what_, start);
            if (pos_ < 0)
                pos_ = text_.size();
        }
        return pos_;
    }
    qsizetype none() const { return text_.size(); }

private:
    QStringView text_;
    QChar what_;
    qsizetype pos_ = -1;
};

// The part between the end of the body tag and the closing body tag, or everything without one.
QStringView bodyOf(QStringView html)
{
    const qsizetype open = html.indexOf(u"<body", 0, Qt::CaseInsensitive);
    if (open < 0)
        return html;
    QStringView body = html.sliced(open);
    const qsizetype tagEnd = body.indexOf(u'>');
    if (tagEnd < 0)
        return body;
    body = body.sliced(tagEnd + 1);
    const qsizetype close = body.indexOf(u"</body>", 0, Qt::CaseInsensitive);
    return close < 0 ? body : body.first(close);
}

} // namespace

QString HtmlToText(const QString& html)
{
    const QStringView in = bodyOf(html);
    const qsizetype n = in.size();
    // "<p>" is the only token longer than its source: three characters give four.
    QString out(n + n / 3 + 4, Qt::Uninitialized);
    char16_t* const begin = reinterpret_cast<char16_t*>(out.data());
    char16_t* o = begin;
    const auto put = [&o](std::u16string_view text) {
        std::copy(text.begin(), text.end(), o);
        o += text.size();
    };

    NextOf nextGt(in, u'>'), nextSemi(in, u';'), nextBlank(in, kBlank);
    auto skipBlanks = [&](qsizetype i) {
        while (i < n && in[i] == kBlank)
            ++i;
        return i;
    };

    qsizetype i = 0;
    while (i < n) {
        const char16_t c = in[i++].unicode();
        switch (c) {
        case kBlank:
            *o++ = kBlank;
            i = skipBlanks(i);
            break;
        case u'\r':
        case u'\n':
            if (i < n && in[i] == u'\n')
                ++i;
            i = skipBlanks(i);
            break;
        case u'<': {
            const qsizetype gt = nextGt.from(i);
            if (gt == nextGt.none())
                break;
            const QStringView tag = in.sliced(i, gt - i);
            i = gt + 1;
            if (tagIs(tag, "p") || tagIs(tag, "/div"))
                put(u"\r\n\r\n");
            else if (tagIs(tag, "br"))
                put(u"\r\n");
            break;
        }
        case u'&': {
            const qsizetype semi = nextSemi.from(i), blank = nextBlank.from(i);
            if (semi == nextSemi.none() || blank == nextBlank.none() || semi > blank) {
                *o++ = c;
                break;
            }
            const QStringView name = in.sliced(i, semi - i);
            if (const Entity* e = findEntity(name)) {
                *o++ = e->value;
            } else {
                *o++ = u'&';
                put(std::u16string_view(name.utf16(), size_t(name.size())));
                *o++ = u';';
            }
            i = semi + 1;
            break;
        }
        default: *o++ = c; break;
        }
    }
    out.truncate(o - begin);
    return out;
}
