#pragma once

#include "common/settingsstore.h"

#include <QString>

#include <memory>

class QSettings;

// The store as an INI file of the user's configuration folder
// (~/.config/Quillmark/Vocatext.ini), section "Vocatext".
class IniSettingsStore final : public ISettingsStore
{
public:
    IniSettingsStore();
    /// A store in the given file, for tools and tests.
    explicit IniSettingsStore(const QString &fileName);
    ~IniSettingsStore() override;

    std::optional<QString> Value(const QString &key) const override;
    void SetValue(const QString &key, const QString &value) override;

    QString FileName() const;
    QString Folder() const override;

private:
    std::unique_ptr<QSettings> m_settings;
};
