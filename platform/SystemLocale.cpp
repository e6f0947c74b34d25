// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SystemLocale.h"

#include <atomic>

namespace platform {
namespace {

std::atomic<int> lcidOverride{0};
std::atomic<int> codePageOverride{0};

struct LocaleRow
{
    QLocale::Language language;
    QLocale::Territory territory; // AnyTerritory: the language's usual number
    int lcid;
};

// Windows locale identifiers of the languages most users run.
constexpr LocaleRow kLocales[] = {
    {QLocale::Chinese, QLocale::Taiwan, 0x0404},        {QLocale::Chinese, QLocale::HongKong, 0x0C04},
    {QLocale::Chinese, QLocale::Macao, 0x1404},         {QLocale::Chinese, QLocale::China, 0x0804},
    {QLocale::Chinese, QLocale::Singapore, 0x0804},     {QLocale::English, QLocale::UnitedStates, 0x0409},
    {QLocale::English, QLocale::UnitedKingdom, 0x0809}, {QLocale::English, QLocale::Australia, 0x0C09},
    {QLocale::English, QLocale::Canada, 0x1009},        {QLocale::English, QLocale::AnyTerritory, 0x0409},
    {QLocale::German, QLocale::AnyTerritory, 0x0407},   {QLocale::French, QLocale::AnyTerritory, 0x040C},
    {QLocale::Spanish, QLocale::AnyTerritory, 0x0C0A},  {QLocale::Italian, QLocale::AnyTerritory, 0x0410},
    {QLocale::Portuguese, QLocale::Brazil, 0x0416},     {QLocale::Portuguese, QLocale::AnyTerritory, 0x0816},
    {QLocale::Dutch, QLocale::AnyTerritory, 0x0413},    {QLocale::Russian, QLocale::AnyTerritory, 0x0419},
    {QLocale::Polish, QLocale::AnyTerritory, 0x0415},   {QLocale::Japanese, QLocale::AnyTerritory, 0x0411},
    {QLocale::Korean, QLocale::AnyTerritory, 0x0412},   {QLocale::Swedish, QLocale::AnyTerritory, 0x041D},
    {QLocale::Turkish, QLocale::AnyTerritory, 0x041F},  {QLocale::Vietnamese, QLocale::AnyTerritory, 0x042A},
    {QLocale::Thai, QLocale::AnyTerritory, 0x041E},
};

} // namespace

int MapLcid(int lcid)
{
    return (lcid == 0x0C04 || lcid == 0x1404) ? kLcidTraditionalChinese : lcid;
}

int LcidFromLocale(const QLocale& locale)
{
    if (locale.language() == QLocale::Chinese) {
        // Without a known territory the script decides.
        const bool traditional = locale.script() == QLocale::TraditionalChineseScript;
        for (const LocaleRow& row : kLocales)
            if (row.language == QLocale::Chinese && row.territory == locale.territory())
                return row.lcid;
        return traditional ? 0x0404 : 0x0804;
    }
    int languageOnly = 0;
    for (const LocaleRow& row : kLocales) {
        if (row.language != locale.language())
            continue;
        if (row.territory == locale.territory())
            return row.lcid;
        if (row.territory == QLocale::AnyTerritory)
            languageOnly = row.lcid;
    }
    return languageOnly ? languageOnly : 0x0409;
}

int SystemLcid()
{
    const int forced = lcidOverride.load();
    static const int system = LcidFromLocale(QLocale::system()); // read once: it is costly
    return MapLcid(forced ? forced : system);
}

int AnsiCodePage(int lcid)
{
    switch (MapLcid(lcid)) {
    case kLcidTraditionalChinese: return 950;
    case kLcidSimplifiedChinese: return 936;
    default: return 1252;
    }
}

int SystemAnsiCodePage()
{
    const int forced = codePageOverride.load();
    return forced ? forced : AnsiCodePage(SystemLcid());
}

void SetSystemCodePageOverride(int codePage)
{
    codePageOverride.store(codePage);
}

void SetSystemLcidOverride(int lcid)
{
    lcidOverride.store(lcid);
}

} // namespace platform
