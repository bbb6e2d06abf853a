#pragma once

#include <QHash>
#include <QString>

#include <functional>
#include <optional>

// The level of each voice at each rate, in dB, that brings it to the program's loudness:
// measured once, then kept in memory for the process and in the file "loudness" of the
// user's cache folder for the next. The folder serves only when it is a folder of the
// user's, not a link, that nobody else may write; otherwise the levels stay in memory.
class VoiceLevels
{
public:
    /// Keeps the levels in folder too (made 0700 when missing); an empty folder: memory alone.
    explicit VoiceLevels(QString folder = QString());

    /// $XDG_CACHE_HOME/vocatext, else ~/.cache/vocatext; "" without a home folder.
    static QString CacheFolder();

    /// The level kept for key; otherwise the one measure gives, kept from then on. A
    /// measure that gives none (silence) is asked again the next time.
    std::optional<double> Level(const QString &key, const std::function<std::optional<double>()> &measure);

    /// The file of the levels while the folder serves; "" otherwise.
    QString FilePath();
    /// Keeps the levels in folder from now on (one of the program's own where the user's
    /// cache folder cannot serve).
    void SetFolder(const QString &folder) { m_folder = folder; }

private:
    QString UsableFolder();
    QHash<QString, double> Stored(const QString &path);

    QString m_folder;
    QHash<QString, double> m_levels;
};
