#include "system/inisettingsstore.h"

#include "common/runtimeerror.h"

#include <QSettings>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace {
const QString kSection = u"Vocatext"_s;
} // namespace

IniSettingsStore::IniSettingsStore()
    : m_settings(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, u"Quillmark"_s,
                                             u"Vocatext"_s))
{
}

IniSettingsStore::IniSettingsStore(const QString &fileName)
    : m_settings(std::make_unique<QSettings>(fileName, QSettings::IniFormat))
{
}

IniSettingsStore::~IniSettingsStore() = default;

std::optional<QString> IniSettingsStore::Value(const QString &key) const
{
    const QVariant value = m_settings->value(kSection + u'/' + key);
    if (!value.isValid())
        return std::nullopt;
    // A hand-edited file can hold a comma list or an @Variant; each reads as text.
    if (value.metaType().id() == QMetaType::QStringList)
        return value.toStringList().join(u", "_s);
    return value.toString();
}

void IniSettingsStore::SetValue(const QString &key, const QString &value)
{
    m_settings->setValue(kSection + u'/' + key, value);
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError) {
        throw RuntimeError(u"The settings could not be saved to "_s + m_settings->fileName(),
                           ErrorNumber::PermissionDenied);
    }
}

QString IniSettingsStore::FileName() const
{
    return m_settings->fileName();
}

QString IniSettingsStore::Folder() const
{
    const QString file = FileName();
    return file.left(file.lastIndexOf(u'/'));
}
