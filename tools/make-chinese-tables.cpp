// SPDX-License-Identifier: GPL-3.0-or-later
// Makes the two Big5/GB2312 conversion tables, gb2big5.tbl and big52gb.tbl.
//
// Every GB2312 pair (lead A1..F7, trail A1..FE) is decoded with ICU's windows-936 converter
// and every Big5 pair (lead A1..FE, trail 40..7E or A1..FE) with windows-950. A pair that
// does not give exactly one assigned, non-private character has no counterpart. Otherwise
// the character is turned into the other script with ICU's Hans-Hant (GB2312 -> Big5) or
// Hant-Hans (Big5 -> GB2312) transliterator and encoded in the other code page; when that
// fails, the character itself is encoded. The result counts only when it is one pair of
// the target class and decodes back to the same character.
//
// Each table is a plain array of little-endian 16-bit codes, lead byte in the high half,
// with 0x2020 (two blanks) for a code that has no counterpart.
//
// usage: korvalen-make-chinese-tables [output-folder]   (default: ./data)

#include "OutputFolderArgument.h"

#include <unicode/translit.h>
#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>
#include <unicode/uvernum.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr uint16_t kNoCounterpart = 0x2020;

struct ConverterCloser
{
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter openConverter(const char* name)
{
    UErrorCode status = U_ZERO_ERROR;
    Converter c(ucnv_open(name, &status));
    if (U_FAILURE(status) || !c)
        return nullptr;
    // Stop on anything that does not map, so a substitute never passes for a character.
    status = U_ZERO_ERROR;
    ucnv_setToUCallBack(c.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    ucnv_setFromUCallBack(c.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    ucnv_setFallback(c.get(), false);
    return c;
}

bool isGbPair(unsigned b0, unsigned b1)
{
    return b0 >= 0xA1 && b0 <= 0xF7 && b1 >= 0xA1 && b1 <= 0xFE;
}

bool isBig5Pair(unsigned b0, unsigned b1)
{
    return b0 >= 0xA1 && b0 <= 0xFE && ((b1 >= 0x40 && b1 <= 0x7E) || (b1 >= 0xA1 && b1 <= 0xFE));
}

// The one character a pair stands for, if it stands for a real one.
std::optional<UChar32> decodePair(UConverter* conv, unsigned b0, unsigned b1)
{
    const char in[2] = {char(b0), char(b1)};
    UChar out[8];
    UErrorCode status = U_ZERO_ERROR;
    ucnv_reset(conv);
    const int32_t n = ucnv_toUChars(conv, out, 8, in, 2, &status);
    if (U_FAILURE(status) || n <= 0)
        return std::nullopt;
    UChar32 c;
    int32_t i = 0;
    U16_NEXT(out, i, n, c);
    if (i != n || c == 0xFFFD)
        return std::nullopt;
    const int8_t type = u_charType(c);
    if (type == U_UNASSIGNED || type == U_PRIVATE_USE_CHAR || type == U_SURROGATE)
        return std::nullopt;
    return c;
}

// The pair a character has in a code page, if it is one pair of the wanted class that
// decodes back to the same character.
std::optional<uint16_t> encodePair(UConverter* conv, UChar32 c, bool (*isPair)(unsigned, unsigned))
{
    UChar in[2];
    int32_t len = 0;
    UBool error = false;
    U16_APPEND(in, len, 2, c, error);
    if (error)
        return std::nullopt;
    char out[8];
    UErrorCode status = U_ZERO_ERROR;
    ucnv_reset(conv);
    const int32_t n = ucnv_fromUChars(conv, out, 8, in, len, &status);
    if (U_FAILURE(status) || n != 2)
        return std::nullopt;
    const unsigned b0 = uint8_t(out[0]), b1 = uint8_t(out[1]);
    if (!isPair(b0, b1) || decodePair(conv, b0, b1) != c)
        return std::nullopt;
    return uint16_t(b0 << 8 | b1);
}

struct Direction
{
    const char* name;
    UConverter* from;
    UConverter* to;
    icu::Transliterator* script;
    bool (*targetPair)(unsigned, unsigned);
};

uint16_t convertPair(const Direction& d, unsigned b0, unsigned b1)
{
    const std::optional<UChar32> c = decodePair(d.from, b0, b1);
    if (!c)
        return kNoCounterpart;
    icu::UnicodeString other(*c);
    d.script->transliterate(other);
    if (other.countChar32() == 1 && other.char32At(0) != *c)
        if (const auto code = encodePair(d.to, other.char32At(0), d.targetPair))
            return *code;
    return encodePair(d.to, *c, d.targetPair).value_or(kNoCounterpart);
}

bool writeTable(const std::filesystem::path& file, const std::vector<uint16_t>& table)
{
    std::vector<char> bytes;
    bytes.reserve(table.size() * 2);
    for (uint16_t v : table) {
        bytes.push_back(char(v & 0xFF));
        bytes.push_back(char(v >> 8));
    }
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(out);
}

int countMissing(const std::vector<uint16_t>& table)
{
    int n = 0;
    for (uint16_t v : table)
        n += v == kNoCounterpart;
    return n;
}

std::unique_ptr<icu::Transliterator> openTransliterator(const char* id)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Transliterator> t(
        icu::Transliterator::createInstance(icu::UnicodeString(id), UTRANS_FORWARD, status));
    if (U_FAILURE(status))
        return nullptr;
    return t;
}

} // namespace

int main(int argc, char** argv)
{
    const OutputFolderArgument argument =
        ReadOutputFolderArgument(argc, argv,
                                 "Makes the Big5/GB2312 conversion tables gb2big5.tbl and big52gb.tbl from ICU's\n"
                                 "windows-936 and windows-950 code pages and its Hans-Hant transliterators.");
    if (argument.exitCode >= 0)
        return argument.exitCode;
    const std::filesystem::path folder = argument.folder;

    const Converter gb = openConverter("windows-936");
    const Converter big5 = openConverter("windows-950");
    const auto toTraditional = openTransliterator("Hans-Hant");
    const auto toSimplified = openTransliterator("Hant-Hans");
    if (!gb || !big5 || !toTraditional || !toSimplified) {
        std::fprintf(stderr, "ICU lacks the windows-936/950 converters or the Hans/Hant transliterators\n");
        return 1;
    }

    const Direction gbToBig5{"GB2312 -> Big5", gb.get(), big5.get(), toTraditional.get(), isBig5Pair};
    const Direction big5ToGb{"Big5 -> GB2312", big5.get(), gb.get(), toSimplified.get(), isGbPair};

    std::vector<uint16_t> gbTable;
    gbTable.reserve(87 * 94);
    for (unsigned b0 = 0xA1; b0 <= 0xF7; ++b0)
        for (unsigned b1 = 0xA1; b1 <= 0xFE; ++b1)
            gbTable.push_back(convertPair(gbToBig5, b0, b1));

    std::vector<uint16_t> big5Table;
    big5Table.reserve(94 * 157);
    for (unsigned b0 = 0xA1; b0 <= 0xFE; ++b0) {
        for (unsigned b1 = 0x40; b1 <= 0x7E; ++b1)
            big5Table.push_back(convertPair(big5ToGb, b0, b1));
        for (unsigned b1 = 0xA1; b1 <= 0xFE; ++b1)
            big5Table.push_back(convertPair(big5ToGb, b0, b1));
    }

    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const auto gbFile = folder / "gb2big5.tbl";
    const auto big5File = folder / "big52gb.tbl";
    if (!writeTable(gbFile, gbTable) || !writeTable(big5File, big5Table)) {
        std::fprintf(stderr, "cannot write the tables to %s\n", folder.string().c_str());
        return 1;
    }

    std::printf("Tables made with ICU %s: each pair decoded with windows-936 (GB2312) or\n"
                "windows-950 (Big5), turned into the other script with the Hans-Hant or\n"
                "Hant-Hans transliterator (the character itself when that has no pair) and\n"
                "encoded in the other code page; 0x2020 where no pair round-trips.\n",
                U_ICU_VERSION);
    std::printf("%s: %s, %zu entries, %d without counterpart\n", gbToBig5.name, gbFile.string().c_str(), gbTable.size(),
                countMissing(gbTable));
    std::printf("%s: %s, %zu entries, %d without counterpart\n", big5ToGb.name, big5File.string().c_str(),
                big5Table.size(), countMissing(big5Table));
    return 0;
}
