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
