// SPDX-License-Identifier: GPL-3.0-or-later
// The MIME decoders. The first byte picks the decoder (low 3 bits), the system (next 2) and
// the charset code handed in (the rest); the remaining bytes are the input.
#include "FuzzSupport.h"
#include "protocols/MimeDecoders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t op = data[0] & 7;
    fuzz::PickSystem(data[0] >> 3 & 3);
    const int charset = (data[0] >> 5) % 5;
    const QByteArray in = fuzz::Bytes(data + 1, size - 1);
    const qsizetype n = in.size();

    unsigned sum = 0;
    switch (op) {
    case 0:
        sum += mime::ClassifyCharset(in) + mime::ClassifyTransferEncoding(in) + mime::CodePageOfCharset(charset);
        break;
    case 1: {
        const QByteArray out = mime::DecodeBase64(in);
        if (out.size() > n / 4 * 3)
            fuzz::Fail("base64 output longer than its groups", out.size(), n / 4 * 3);
        sum += fuzz::Touch(out);
        break;
    }
    case 2: {
        const QByteArray out = mime::DecodeQuotedPrintable(in);
        if (out.size() > n)
            fuzz::Fail("quoted-printable output longer than input", out.size(), n);
        sum += fuzz::Touch(out);
        break;
    }
    case 3: {
        const QString out = mime::DecodeUtf8(in);
        if (out.size() > n)
            fuzz::Fail("UTF-8 output longer than input", out.size(), n);
        sum += fuzz::Touch(out);
        break;
    }
    case 4: sum += fuzz::Touch(mime::DecodePayload(in, charset % 4)); break;
    case 5:
    case 6: {
        const mime::DecodedWord word = mime::DecodeHeaderWord(in, charset);
        sum += fuzz::Touch(word.text) + fuzz::Touch(word.bytes) + word.charset;
        break;
    }
    case 7: sum += fuzz::Touch(mime::TextOfBytes(in, charset)); break;
    }
    fuzz::Keep(sum);
    return 0;
}
