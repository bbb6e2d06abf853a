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

// The stored values that both front ends restore, read by one set of rules: what a stored
// text means, and when it cannot be taken (the window reports it at start-up and keeps
// the control as it stands; the headless converter names the key and stops).

/// A stored slider position (the key's default when never written), rounded halves to
/// even; throws "Invalid property value" when it lies outside low to high, and "Overflow"
/// when it is too large to be a number at all.
int StoredSliderValue(const ISettingsStore &store, const Setting &setting, int low, int high);
/// A stored true or false (the key's default when never written); throws "Type mismatch".
bool StoredBoolean(const ISettingsStore &store, const Setting &setting);
