// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocols/HtmlToText.h"

#include <gtest/gtest.h>

TEST(HtmlToText, TagsBlanksBodyAndEntities)
{
    const struct
    {
        const char16_t* html;
        const char16_t* text;
    } cases[] = {
        {u"a<br>b", u"a\r\nb"},
        {u"<p>x</p>y", u"\r\n\r\nxy"},
        {u"x</DIV>y<div>z", u"x\r\n\r\nyz"},
        {u"a<b\nc>d", u"ad"},
        {u"  a   b", u" a b"},
        {u"a\r\n \r\n b", u"ab"},
        {u"<html><head>t</head><BODY bgcolor=\"w\">in</Body>after", u"in"},
        {u"x<body", u"body"}, // no end of the body tag: the text starts at the tag
        {u"a</body>b", u"ab"}, // the closing tag is only looked for after a body tag
        {u"&amp;&quot;&lt;&gt;&nbsp;&brvbar; ", u"&\"<> | "},
        {u"&copy;&Auml;&iquest; x", u"??? x"},
        {u"&AMP; &Copy; &shy; &#38; &euro; ", u"&AMP; &Copy; &shy; &#38; &euro; "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HtmlToText(QStringView(c.html).toString()), QStringView(c.text))
            << QStringView(c.html).toString().toStdString();
}

TEST(HtmlToText, OddInputIsLinearAndSafe)
{
    const QString odd = QStringView(u"\0<b\xD800>\xDC00&\0;\xDFFF ", 11).toString();
    EXPECT_EQ(HtmlToText(odd), QStringView(u"\0\xDC00&\0;\xDFFF ", 7));

    const struct
    {
        QString html;
        qsizetype size;
    } big[] = {
        {QString(200000, u'<'), 0},
        {QString(1000000, u'&') + u' ', 1000001},
        {QString(500000, u'&') + QString(500000, u';') + u' ', 1000001},
        {QStringView(u"<p>word &amp; more<br>").toString().repeated(500000), 500000 * 17},
        {QStringView(u"<p>").toString().repeated(300000), 300000 * 4}, // the text's largest growth
    };
    // Linear work takes milliseconds here; work that grows with the square of a million
    // characters would run far past the test's time limit, whatever the machine's load.
    for (const auto& b : big)
        EXPECT_EQ(HtmlToText(b.html).size(), b.size);
}
