#include "common/settings.h"

#include "common/runtimeerror.h"
#include "common/settingkeys.h"
#include "common/settingsstore.h"

#include <cfenv>
#include <cmath>

using namespace Qt::StringLiterals;

QString ReadSetting(const ISettingsStore &store, const QString &key, const QString &defaultValue)
{
    return store.Value(key).value_or(defaultValue);
}

QString ReadSetting(const ISettingsStore &store, const QString &key, int defaultValue)
{
    return ReadSetting(store, key, QString::number(defaultValue));
}

void WriteSetting(ISettingsStore &store, const QString &key, const QString &value)
{
    store.SetValue(key, value);
}

QString ReadSetting(const ISettingsStore &store, const Setting &setting)
{
    return ReadSetting(store, setting.Key(), setting.Default());
}

void WriteSetting(ISettingsStore &store, const Setting &setting, const QString &value)
{
    WriteSetting(store, setting.Key(), value);
}

namespace {

// Length of the decimal number at the start of text (after blanks), 0 when there is none.
qsizetype NumberPrefix(QStringView text, qsizetype start)
{
    qsizetype i = start;
    const qsizetype n = text.size();
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    qsizetype digits = 0;
    while (i < n && text[i].isDigit() && text[i].unicode() < 128) {
        ++i;
        ++digits;
    }
    if (i < n && text[i] == u'.') {
        ++i;
        while (i < n && text[i].unicode() >= u'0' && text[i].unicode() <= u'9') {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        if (j < n && (text[j] == u'+' || text[j] == u'-'))
            ++j;
        const qsizetype expStart = j;
        while (j < n && text[j].unicode() >= u'0' && text[j].unicode() <= u'9')
            ++j;
        if (j > expStart)
            i = j;
    }
    return i - start;
}

qsizetype SkipBlanks(QStringView text)
{
    qsizetype i = 0;
    while (i < text.size() && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    return i;
}

} // namespace

double SettingToNumber(const QString &text)
{
    const qsizetype start = SkipBlanks(text);
    const qsizetype length = NumberPrefix(text, start);
    if (length == 0)
        return 0;
    bool ok = false;
    const double value = QStringView(text).mid(start, length).toDouble(&ok);
    if (!ok || !std::isfinite(value))
        throw RuntimeError(u"Overflow"_s, ErrorNumber::Overflow);
    return value;
}

double RoundHalfEven(double value)
{
    const int mode = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double rounded = std::nearbyint(value);
    std::fesetround(mode);
    return rounded;
}

double SettingToWholeNumber(const QString &text)
{
    return RoundHalfEven(SettingToNumber(text));
}

bool SettingToBoolean(const QString &text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(u"True"_s, Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(u"False"_s, Qt::CaseInsensitive) == 0)
        return false;
    const qsizetype length = NumberPrefix(trimmed, 0);
    if (length == 0 || length != trimmed.size())
        throw RuntimeError(u"Type mismatch"_s, ErrorNumber::TypeMismatch);
    return SettingToNumber(trimmed) != 0;
}

QString BooleanToSetting(bool value)
{
    return value ? u"True"_s : u"False"_s;
}

int StoredSliderValue(const ISettingsStore &store, const Setting &setting, int low, int high)
{
    const double value = SettingToWholeNumber(ReadSetting(store, setting));
    if (!(value >= low && value <= high))
        throw RuntimeError(u"Invalid property value"_s, ErrorNumber::InvalidPropertyValue);
    return static_cast<int>(value);
}

bool StoredBoolean(const ISettingsStore &store, const Setting &setting)
{
    return SettingToBoolean(ReadSetting(store, setting));
}
