#pragma once

#include <QString>

class ISettingsStore;
struct Setting;

// The program's settings: text values under fixed keys, each written the moment it changes.

/// The stored text, or the default when the key was never written.
QString ReadSetting(const ISettingsStore &store, const QString &key, const QString &defaultValue = QString());
QString ReadSetting(const ISettingsStore &store, const QString &key, int defaultValue);
/// The stored text of a key of the table, or its default.
QString ReadSetting(const ISettingsStore &store, const Setting &setting);
/// Stores the text at once; throws RuntimeError when the store cannot be written.
void WriteSetting(ISettingsStore &store, const QString &key, const QString &value);
void WriteSetting(ISettingsStore &store, const Setting &setting, const QString &value);

/// A stored text read as a decimal number: the number it begins with, 0 when it
/// begins with none. A number too large for a double throws "Overflow".
double SettingToNumber(const QString &text);
/// A number rounded to a whole number, halves to the even neighbour.
double RoundHalfEven(double value);
/// A stored text read as a whole number: SettingToNumber, rounded halves to even.
double SettingToWholeNumber(const QString &text);
/// "True"/"False" in any letter case, or a number (0 is false); anything else throws
/// the "Type mismatch" error.
bool SettingToBoolean(const QString &text);
/// "True" or "False".
QString BooleanToSetting(bool value);
