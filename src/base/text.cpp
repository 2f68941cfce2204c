#include "text.h"

#include <cerrno>
#include <iconv.h>

QString withTrailingSlash(const QString& folder)
{
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

QString decodeGbk(const QByteArray& bytes, bool* whole)
{
    if (whole)
        *whole = true;
    iconv_t cd = iconv_open("UTF-16LE", "GB18030");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return QString::fromLocal8Bit(bytes);

    QString out;
    out.reserve(bytes.size());
    char* in = const_cast<char*>(bytes.constData());
    size_t inLeft = size_t(bytes.size());
    char16_t buffer[4096];
    while (inLeft > 0) {
        char* outPtr = reinterpret_cast<char*>(buffer);
        size_t outLeft = sizeof buffer;
        const size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(reinterpret_cast<const QChar*>(buffer),
                   qsizetype((sizeof buffer - outLeft) / sizeof(char16_t)));
        if (rc == size_t(-1) && errno != E2BIG) {
            // EILSEQ or a truncated sequence at the end: mark it and go on with the next byte
            out.append(QChar::ReplacementCharacter);
            if (whole)
                *whole = false;
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

QString textOfFileBytes(const QByteArray& bytes)
{
    QString text = decodeGbk(bytes);
    if (text.endsWith(QLatin1String("\r\n")))
        text.chop(2);
    return text;
}

namespace {

// The length of the UTF-8 character at `at`, or 0 where none starts there.
qsizetype utf8Length(const QByteArray& b, qsizetype at)
{
    const auto c = [&](qsizetype k) {
        return uchar(b[at + k]);
    };
    const auto cont = [&](qsizetype k) {
        return at + k < b.size() && (c(k) & 0xC0) == 0x80;
    };
    const uchar lead = c(0);
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return cont(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (!cont(1) || !cont(2))
            return 0;
        const bool overlong = lead == 0xE0 && c(1) < 0xA0;
        const bool surrogate = lead == 0xED && c(1) >= 0xA0;
        return overlong || surrogate ? 0 : 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (!cont(1) || !cont(2) || !cont(3))
            return 0;
        const bool overlong = lead == 0xF0 && c(1) < 0x90;
        const bool beyond = lead == 0xF4 && c(1) >= 0x90;
        return overlong || beyond ? 0 : 4;
    }
    return 0;
}

} // namespace

QString decodeFileName(const QByteArray& bytes)
{
    QString name;
    name.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        const qsizetype n = utf8Length(bytes, at);
        if (n == 0) {
            name += QChar(char16_t(0xDC00 + uchar(bytes[at])));
            ++at;
        } else {
            name += QString::fromUtf8(bytes.constData() + at, n);
            at += n;
        }
    }
    return name;
}

QByteArray encodeFileName(const QString& name)
{
    QByteArray bytes;
    bytes.reserve(name.size());
    for (qsizetype at = 0; at < name.size(); ++at) {
        const char16_t u = name.at(at).unicode();
        const bool pairStart =
            QChar::isHighSurrogate(u) && at + 1 < name.size() && name.at(at + 1).isLowSurrogate();
        if (u >= 0xDC80 && u <= 0xDCFF) {
            bytes += char(u - 0xDC00);
        } else if (pairStart) {
            bytes += name.mid(at, 2).toUtf8();
            ++at;
        } else {
            bytes += QStringView(name).mid(at, 1).toUtf8();
        }
    }
    return bytes;
}
