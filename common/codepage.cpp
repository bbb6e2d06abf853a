#include "common/codepage.h"

#include <array>

namespace {

// Windows-1252 bytes 0x80 to 0x9F; undefined bytes keep their C1 code point.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

int CodeOf(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<int>(c);
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[static_cast<size_t>(i)] == c)
            return 0x80 + i;
    }
    return '?';
}

} // namespace

namespace CodePage {

QByteArray Encode(QStringView text)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    char *dst = out.data();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = text[i].unicode();
        if (u < 0x80) {
            *dst++ = static_cast<char>(u);
        } else if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(text[i + 1].unicode())) {
            ++i; // one character outside the code page, one "?"
            *dst++ = '?';
        } else {
            *dst++ = static_cast<char>(CodeOf(u));
        }
    }
    out.truncate(dst - out.constData());
    return out;
}

QString Decode(QByteArrayView bytes)
{
    QString out(bytes.size(), Qt::Uninitialized);
    QChar *dst = out.data();
    for (const char byte : bytes) {
        const auto b = static_cast<unsigned char>(byte);
        *dst++ = QChar(b >= 0x80 && b < 0xA0 ? kHighControls[b - 0x80] : char16_t(b));
    }
    return out;
}

int Asc(char32_t character)
{
    return CodeOf(character);
}

QChar Chr(int code)
{
    const auto b = static_cast<unsigned char>(code);
    return QChar(b >= 0x80 && b < 0xA0 ? kHighControls[b - 0x80] : char16_t(b));
}

bool Holds(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        if (c != u'?' && Asc(c) == '?')
            return false;
    }
    return true;
}

QString DecodeWorkingText(QByteArrayView bytes)
{
    if (bytes.startsWith(kUtf8Mark))
        return QString::fromUtf8(bytes.sliced(3));
    return Decode(bytes);
}

} // namespace CodePage
