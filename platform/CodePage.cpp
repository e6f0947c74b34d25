#include "platform/CodePage.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>

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

struct Tally
{
    const char* sourceStart = nullptr;
    const UChar* textStart = nullptr;
    int count = 0;
    int first = -1;
};

void countToUnicode(const void* context, UConverterToUnicodeArgs* args, const char* codeUnits,
                    int32_t length, UConverterCallbackReason reason, UErrorCode* err)
{
    auto* tally = static_cast<Tally*>(const_cast<void*>(context));
    if (reason <= UCNV_IRREGULAR) {
        if (tally->count++ == 0)
            tally->first = int(args->source - tally->sourceStart) - length;
    }
    UCNV_TO_U_CALLBACK_SUBSTITUTE(nullptr, args, codeUnits, length, reason, err);
}

void countFromUnicode(const void* context, UConverterFromUnicodeArgs* args, const UChar* codeUnits,
                      int32_t length, UChar32 codePoint, UConverterCallbackReason reason,
                      UErrorCode* err)
{
    auto* tally = static_cast<Tally*>(const_cast<void*>(context));
    if (reason <= UCNV_IRREGULAR) {
        if (tally->count++ == 0)
            tally->first = int(args->source - tally->textStart) - length;
    }
    UCNV_FROM_U_CALLBACK_SUBSTITUTE(nullptr, args, codeUnits, length, codePoint, reason, err);
}

} // namespace

TextConversion BytesToText(const QByteArray& bytes, int codePage)
{
    TextConversion result;
    Converter conv = openCodePage(codePage);
    if (!conv) {
        result.converterFound = false;
        return result;
    }
    Tally tally;
    tally.sourceStart = bytes.constData();
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setToUCallBack(conv.get(), countToUnicode, &tally, nullptr, nullptr, &status);

    // Every byte gives at most two UTF-16 units (one for a substitute or a BMP character).
    std::vector<UChar> out(size_t(bytes.size()) * 2 + 2);
    UChar* target = out.data();
    const char* source = bytes.constData();
    ucnv_toUnicode(conv.get(), &target, out.data() + out.size(), &source,
                   bytes.constData() + bytes.size(), nullptr, true, &status);
    if (U_FAILURE(status))
        ++result.unmapped;
    result.text = QString(reinterpret_cast<const QChar*>(out.data()), target - out.data());
    result.unmapped += tally.count;
    result.firstUnmapped = tally.first;
    return result;
}

BytesConversion TextToBytes(const QString& text, int codePage)
{
    BytesConversion result;
    Converter conv = openCodePage(codePage);
    if (!conv) {
        result.converterFound = false;
        return result;
    }
    Tally tally;
    tally.textStart = reinterpret_cast<const UChar*>(text.constData());
    // Code pages of two-byte units refuse a one-byte '?' and keep their own substitute.
    UErrorCode substStatus = U_ZERO_ERROR;
    ucnv_setSubstChars(conv.get(), "?", 1, &substStatus);
    UErrorCode status = U_ZERO_ERROR;
    ucnv_setFromUCallBack(conv.get(), countFromUnicode, &tally, nullptr, nullptr, &status);

    std::vector<char> out(size_t(text.size()) * size_t(ucnv_getMaxCharSize(conv.get())) + 8);
    char* target = out.data();
    const UChar* source = tally.textStart;
    ucnv_fromUnicode(conv.get(), &target, out.data() + out.size(), &source,
                     tally.textStart + text.size(), nullptr, true, &status);
    if (U_FAILURE(status))
        ++result.unmapped;
    result.bytes = QByteArray(out.data(), target - out.data());
    result.unmapped += tally.count;
    result.firstUnmapped = tally.first;
    return result;
}

} // namespace platform
