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

} // namespace CodePage
