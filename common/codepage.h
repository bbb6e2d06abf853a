#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The single-byte code page of the working text files: Windows-1252. The five byte
// values that Windows-1252 leaves undefined map to the C1 control characters of the
// same number, so every byte reads back and writes out unchanged.
namespace CodePage {

/// The text in the code page; a character that it cannot represent becomes "?".
QByteArray Encode(QStringView text);
/// Every byte taken as its character of the code page.
QString Decode(QByteArrayView bytes);
/// The code of a character in the code page: 63 (the code of "?") when it has none.
int Asc(char32_t character);
/// The character with the given code (0 to 255) of the code page.
QChar Chr(int code);

/// True when the code page holds every character of the text.
bool Holds(QStringView text);

/// A working text file whose text does not fit the code page is written as UTF-8 and
/// begins with this byte-order mark; every other one is in the code page.
inline constexpr char kUtf8Mark[] = "\xEF\xBB\xBF";
/// The text of a working text file, whichever way it was written.
QString DecodeWorkingText(QByteArrayView bytes);

} // namespace CodePage
