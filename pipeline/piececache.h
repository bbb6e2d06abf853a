#pragma once

#include "pipeline/speak.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// Finished pieces of speech, kept in the user's cache folder so that a piece made before,
// with everything that decides its sound the same, is neither spoken nor encoded again:
// an edited book costs only its edited pieces, and a run that was killed goes on where it
// stood. Each entry is written aside and renamed when whole, and carries the digest of its
// own bytes: a cut, damaged or planted entry is never used (it is removed), and two
// converters that keep one piece at once never tear it.

/// What a kept piece gives back: its encoded audio and the facts of its speech.
struct CachedPiece
{
    QByteArray audio;
    SpokenFacts spoken;
};

class PieceCache
{
public:
    /// The cache in folder root, kept to at most limitBytes. It serves only when the folder
    /// is the user's own and not a link (made with mode 0700 when missing, set to 0700 when
    /// it is the user's); otherwise Problem() says why and nothing is found or kept.
    PieceCache(QString root, qint64 limitBytes);
    /// A cache that keeps nothing (--no-cache).
    PieceCache() = default;

    bool Serves() const { return m_serves; }
    /// Why the cache does not serve (any more): "" while it does.
    const QString &Problem() const { return m_problem; }

    /// The key of a piece: a digest of everything that decides its sound (the words the
    /// engine is given, the voice and its engine, rate, volume, the encoder and its options,
    /// the version of the program's speech stages), given as parts.
    static QByteArray Key(const QStringList &parts, const QByteArray &words);

    /// The piece, when a whole entry of it is kept; a damaged one is removed.
    std::optional<CachedPiece> Find(const QByteArray &key);
    /// Keeps the piece's audio (the file's bytes) with its facts; false when it cannot, and
    /// from then on the cache serves no more (a full disk, a folder that became unusable).
    bool Keep(const QByteArray &key, const QString &audioPath, const SpokenFacts &spoken);
    /// Removes the entries least recently used until the cache holds at most its limit;
    /// nothing but the cache's own entries is ever removed.
    void Trim();

    /// $XDG_CACHE_HOME/vocatext, or ~/.cache/vocatext when it is not set.
    static QString DefaultRoot();
    /// 2 GiB.
    static constexpr qint64 kDefaultLimit = qint64(2) << 30;

private:
    QString EntryPath(const QByteArray &key) const;
    void Refuse(const QString &why);

    QString m_folder; // root + the entries' format version: an older program's are never read
    qint64 m_limit = 0;
    bool m_serves = false;
    QString m_problem;
};
