// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/CodePage.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#include <unicode/ucsdet.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace platform {
namespace {

struct ConverterCloser
{
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

Converter openCodePage(int codePage)
{
    if (codePage == 65001)
        codePage = 0; // handled below as UTF-8
    const std::string names[] = {
        codePage == 0 ? std::string("UTF-8") : "windows-" + std::to_string(codePage),
        "cp" + std::to_string(codePage),
        "ibm-" + std::to_string(codePage),
    };
    for (const std::string& name : names) {
        UErrorCode status = U_ZERO_ERROR;
        Converter c(ucnv_open(name.c_str(), &status));
        // an ambiguous alias is a warning, not a failure
        if (!U_FAILURE(status) && c)
            return c;
    }
    return nullptr;
}

// Bytes 0x00..0x7F read as U+0000..U+007F and those characters write back as the same bytes.
// Checked on a converter just opened, before any callback of ours is set on it.
bool keepsAscii(UConverter* conv)
{
    char bytes[128];
    UChar chars[128];
    for (int i = 0; i < 128; ++i) {
        bytes[i] = char(i);
        chars[i] = UChar(i);
    }
    UChar text[256];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t read = ucnv_toUChars(conv, text, 256, bytes, 128, &status);
    if (U_FAILURE(status) || read != 128 || std::memcmp(text, chars, sizeof chars) != 0)
        return false;
    char back[512];
    status = U_ZERO_ERROR;
    const int32_t written = ucnv_fromUChars(conv, back, sizeof back, chars, 128, &status);
    ucnv_reset(conv);
    return !U_FAILURE(status) && written == 128 && std::memcmp(back, bytes, sizeof bytes) == 0;
}

struct CachedConverter
{
    Converter converter; // null when the code page cannot be opened
    bool keepsAscii = false;
};

// Opening a converter costs far more than a short conversion, so each thread keeps the ones
// it has used; a failed open is remembered as null. A converter is reset before each use, not
// here: plain ASCII text, the most of it, does not use it.
const CachedConverter& cachedCodePage(int codePage)
{
    thread_local std::map<int, CachedConverter> cache;
    auto it = cache.find(codePage);
    if (it == cache.end()) {
        CachedConverter entry;
        entry.converter = openCodePage(codePage);
        entry.keepsAscii = entry.converter && keepsAscii(entry.converter.get());
        it = cache.emplace(codePage, std::move(entry)).first;
    }
    return it->second;
}

struct Tally
{
    const char* sourceStart = nullptr;
    const UChar* textStart = nullptr;
    int count = 0;
    int first = -1;
};

void countToUnicode(const void* context, UConverterToUnicodeArgs* args, const char* codeUnits, int32_t length,
                    UConverterCallbackReason reason, UErrorCode* err)
{
    auto* tally = static_cast<Tally*>(const_cast<void*>(context));
    if (reason <= UCNV_IRREGULAR) {
        if (tally->count++ == 0)
            tally->first = int(args->source - tally->sourceStart) - length;
    }
    UCNV_TO_U_CALLBACK_SUBSTITUTE(nullptr, args, codeUnits, length, reason, err);
}

void countFromUnicode(const void* context, UConverterFromUnicodeArgs* args, const UChar* codeUnits, int32_t length,
                      UChar32 codePoint, UConverterCallbackReason reason, UErrorCode* err)
{
    auto* tally = static_cast<Tally*>(const_cast<void*>(context));
    if (reason <= UCNV_IRREGULAR) {
        if (tally->count++ == 0)
            tally->first = int(args->source - tally->textStart) - length;
    }
    UCNV_FROM_U_CALLBACK_SUBSTITUTE(nullptr, args, codeUnits, length, codePoint, reason, err);
}

struct DetectorCloser
{
    void operator()(UCharsetDetector* d) const { ucsdet_close(d); }
};

// The code page of a charset name the detector reports; 0 for those we do not read.
int detectedCodePage(const char* name)
{
    static const struct
    {
        const char* name;
        int codePage;
    } names[] = {
        {"Big5", 950}, {"GB18030", 936}, {"windows-1252", 1252}, {"ISO-8859-1", 1252}, {"UTF-8", 65001},
    };
    for (const auto& n : names)
        if (name && std::strcmp(name, n.name) == 0)
            return n.codePage;
    return 0;
}

} // namespace

bool CodePageKnown(int codePage)
{
    return cachedCodePage(codePage).converter != nullptr;
}

bool CodePageKeepsAscii(int codePage)
{
    return cachedCodePage(codePage).keepsAscii;
}

bool IsAscii(QByteArrayView bytes)
{
    // Blocks of 64 bytes OR-ed together, which the compiler turns into vector instructions.
    constexpr qsizetype kBlock = 64;
    const auto* p = reinterpret_cast<const uchar*>(bytes.data());
    qsizetype n = bytes.size();
    for (; n >= kBlock; p += kBlock, n -= kBlock) {
        uchar any = 0;
        for (qsizetype i = 0; i < kBlock; ++i)
            any |= p[i];
        if (any & 0x80)
            return false;
    }
    uchar any = 0;
    for (qsizetype i = 0; i < n; ++i)
        any |= p[i];
    return !(any & 0x80);
}

bool IsAscii(QStringView text)
{
    constexpr qsizetype kBlock = 32;
    const char16_t* p = text.utf16();
    qsizetype n = text.size();
    for (; n >= kBlock; p += kBlock, n -= kBlock) {
        char16_t any = 0;
        for (qsizetype i = 0; i < kBlock; ++i)
            any |= p[i];
        if (any & 0xFF80)
            return false;
    }
    char16_t any = 0;
    for (qsizetype i = 0; i < n; ++i)
        any |= p[i];
    return !(any & 0xFF80);
}

TextConversion BytesToText(QByteArrayView bytes, int codePage)
{
    TextConversion result;
    const CachedConverter& cached = cachedCodePage(codePage);
    UConverter* conv = cached.converter.get();
    if (!conv) {
        result.converterFound = false;
        return result;
    }
    // Most mail is plain ASCII: it needs no table.
    if (cached.keepsAscii && !bytes.isEmpty() && IsAscii(bytes)) {
        result.text = QString::fromLatin1(bytes);
        return result;
    }
    ucnv_reset(conv);
    Tally tally;
    tally.sourceStart = bytes.data();
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setToUCallBack(conv, countToUnicode, &tally, nullptr, nullptr, &status);

    // The code pages we meet give at most one UTF-16 unit per byte; should one give more,
    // the buffer grows and the conversion goes on where it stopped.
    result.text = QString(bytes.size() + 16, Qt::Uninitialized);
    const char* source = bytes.data();
    const char* sourceEnd = source + bytes.size();
    qsizetype written = 0;
    while (true) {
        UChar* begin = reinterpret_cast<UChar*>(result.text.data());
        UChar* target = begin + written;
        status = U_ZERO_ERROR;
        ucnv_toUnicode(conv, &target, begin + result.text.size(), &source, sourceEnd, nullptr, true, &status);
        written = target - begin;
        if (status != U_BUFFER_OVERFLOW_ERROR)
            break;
        result.text.resize(result.text.size() * 2);
    }
    if (U_FAILURE(status))
        ++result.unmapped;
    result.text.truncate(written);
    result.unmapped += tally.count;
    result.firstUnmapped = tally.first;
    return result;
}

BytesConversion TextToBytes(const QString& text, int codePage)
{
    BytesConversion result;
    const CachedConverter& cached = cachedCodePage(codePage);
    UConverter* conv = cached.converter.get();
    if (!conv) {
        result.converterFound = false;
        return result;
    }
    if (cached.keepsAscii && !text.isEmpty() && IsAscii(QStringView(text))) {
        result.bytes = text.toLatin1();
        return result;
    }
    ucnv_reset(conv);
    Tally tally;
    tally.textStart = reinterpret_cast<const UChar*>(text.constData());
    // Code pages of two-byte units refuse a one-byte '?' and keep their own substitute.
    UErrorCode substStatus = U_ZERO_ERROR;
    ucnv_setSubstChars(conv, "?", 1, &substStatus);
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setFromUCallBack(conv, countFromUnicode, &tally, nullptr, nullptr, &status);

    std::vector<char> out(size_t(text.size()) * size_t(ucnv_getMaxCharSize(conv)) + 8);
    char* target = out.data();
    const UChar* source = tally.textStart;
    ucnv_fromUnicode(conv, &target, out.data() + out.size(), &source, tally.textStart + text.size(), nullptr, true,
                     &status);
    if (U_FAILURE(status))
        ++result.unmapped;
    result.bytes = QByteArray(out.data(), target - out.data());
    result.unmapped += tally.count;
    result.firstUnmapped = tally.first;
    return result;
}

int LikeliestCodePage(const QByteArray& bytes, const QList<int>& candidates)
{
    if (candidates.isEmpty())
        return 0;
    QList<int> confidence(candidates.size(), 0);

    // Opening a detector loads its recognisers; each thread keeps one.
    thread_local std::unique_ptr<UCharsetDetector, DetectorCloser> detector;
    UErrorCode status = U_ZERO_ERROR;
    if (!detector)
        detector.reset(ucsdet_open(&status));
    if (detector && !bytes.isEmpty()) {
        status = U_ZERO_ERROR;
        const auto length = int32_t(std::min<qsizetype>(bytes.size(), INT32_MAX));
        ucsdet_setText(detector.get(), bytes.constData(), length, &status);
        int32_t count = 0;
        const UCharsetMatch** matches = U_FAILURE(status) ? nullptr : ucsdet_detectAll(detector.get(), &count, &status);
        for (int32_t i = 0; matches && !U_FAILURE(status) && i < count; ++i) {
            UErrorCode matchStatus = U_ZERO_ERROR;
            const int codePage = detectedCodePage(ucsdet_getName(matches[i], &matchStatus));
            const int32_t score = ucsdet_getConfidence(matches[i], &matchStatus);
            if (U_FAILURE(matchStatus) || codePage == 0)
                continue;
            for (qsizetype k = 0; k < candidates.size(); ++k)
                if (candidates[k] == codePage)
                    confidence[k] = std::max<int>(confidence[k], score);
        }
    }
    const auto best = std::max_element(confidence.cbegin(), confidence.cend()); // the first of equals
    return candidates[best - confidence.cbegin()];
}

} // namespace platform
