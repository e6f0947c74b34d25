// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArrayView>

#include <algorithm>
#include <cstring>

namespace bytes {

// Where needle first occurs in text at or after from, or -1; as QByteArrayView::indexOf, for
// the short markers mail is cut by (line ends, the end of a reply). Those occur once a line, so
// jumping from one candidate first byte to the next is faster than hashing every byte.
inline qsizetype Find(QByteArrayView text, QByteArrayView needle, qsizetype from = 0)
{
    from = std::max<qsizetype>(from, 0);
    const qsizetype n = needle.size();
    if (n == 0)
        return from <= text.size() ? from : -1;
    if (from > text.size() - n)
        return -1;
    const char* const begin = text.data();
    const char* const last = begin + text.size() - n; // the last place a match can start
    for (const char* p = begin + from; p <= last; ++p) {
        p = static_cast<const char*>(std::memchr(p, needle[0], size_t(last - p + 1)));
        if (!p)
            return -1;
        if (std::memcmp(p + 1, needle.data() + 1, size_t(n - 1)) == 0)
            return p - begin;
    }
    return -1;
}

// Whether a word in lower-case ASCII occurs in text, ASCII letters of any case; as
// text.toLower().contains(word), without the copy.
inline bool ContainsNoCase(QByteArrayView text, QByteArrayView word)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + ('a' - 'A')) : c; };
    for (qsizetype i = 0; i + word.size() <= text.size(); ++i) {
        qsizetype k = 0;
        while (k < word.size() && lower(text[i + k]) == word[k])
            ++k;
        if (k == word.size())
            return true;
    }
    return false;
}

} // namespace bytes
