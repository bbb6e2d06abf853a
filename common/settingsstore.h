#pragma once

#include <QString>

#include <optional>

// The per-user store of text values, addressed by key within the program's section.
class ISettingsStore
{
public:
    virtual ~ISettingsStore() = default;

    /// The stored text of a key, or nothing when the key was never written.
    virtual std::optional<QString> Value(const QString &key) const = 0;
    /// Stores the text; it is on disk when the call returns. Throws RuntimeError when
    /// the store cannot be written (the value is still kept for this session).
    virtual void SetValue(const QString &key, const QString &value) = 0;
    /// The folder that holds the store and the user's other files of settings (such as
    /// pronunciation lexicons); "" for a store that lives in no folder.
    virtual QString Folder() const { return QString(); }
};
