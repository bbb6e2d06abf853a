#include "audio/voicelevels.h"

#include "audio/levelstage.h"
#include "filesystem/filesystem.h"

#include <QDir>

#include <cerrno>
#include <cmath>
#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
namespace Fs = FileSystem;

namespace {

// A file of another format, or for another loudness or ceiling, is not read (and is replaced).
const QByteArray &Header()
{
    static const QByteArray header = "vocatext voice levels 1, " + QByteArray::number(kTargetLoudness, 'f', 1)
                                     + " LUFS, " + QByteArray::number(kPeakCeiling, 'f', 1) + " dBTP\n";
    return header;
}
constexpr qint64 kMaxFileBytes = 1 << 20;
constexpr double kMaxLevelDb = 40;

QString HomeFolder()
{
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty())
        return QDir::cleanPath(home);
    if (const passwd *entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        return Fs::NameFromNative(entry->pw_dir);
    return QString();
}

// One line per key, so no key may hold a line end or the tab before it.
QString OneLine(QString key)
{
    return key.replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
}

} // namespace

VoiceLevels::VoiceLevels(QString folder)
    : m_folder(std::move(folder))
{
}

QString VoiceLevels::CacheFolder()
{
    const QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.startsWith(u'/'))
        return QDir::cleanPath(cache) + u"/vocatext"_s;
    const QString home = HomeFolder();
    return home.isEmpty() ? QString() : home + u"/.cache/vocatext"_s;
}

QString VoiceLevels::UsableFolder()
{
    if (m_folder.isEmpty())
        return QString();
    if (!Fs::LinkStat(m_folder)) {
        Fs::MakeFolder(QDir::cleanPath(m_folder + u"/.."_s), 0700);
        Fs::MakeFolder(m_folder, 0700);
    }
    const auto status = Fs::LinkStat(m_folder);
    if (!status || status->kind != Fs::Kind::Directory || status->owner != Fs::UserId() || (status->mode & 022) != 0)
        return QString();
    return m_folder;
}

QString VoiceLevels::FilePath()
{
    const QString folder = UsableFolder();
    return folder.isEmpty() ? QString() : folder + u"/loudness"_s;
}

QHash<QString, double> VoiceLevels::Stored(const QString &path)
{
    QHash<QString, double> levels;
    const auto status = Fs::LinkStat(path);
    if (!status || status->kind != Fs::Kind::Regular || status->owner != Fs::UserId())
        return levels;
    const auto bytes = Fs::ReadFile(path, kMaxFileBytes);
    if (!bytes || !bytes->startsWith(Header()))
        return levels;
    const QList<QByteArray> lines = bytes->mid(Header().size()).split('\n');
    for (const QByteArray &line : lines) {
        const qsizetype tab = line.indexOf('\t');
        if (tab <= 0)
            continue;
        bool number = false;
        const double level = line.left(tab).toDouble(&number);
        if (number && std::isfinite(level) && std::abs(level) <= kMaxLevelDb)
            levels.insert(QString::fromUtf8(line.mid(tab + 1)), level);
    }
    return levels;
}

std::optional<double> VoiceLevels::Level(const QString &key, const std::function<std::optional<double>()> &measure)
{
    const QString line = OneLine(key);
    if (const auto known = m_levels.constFind(line); known != m_levels.cend())
        return *known;
    // Another process may have measured it meanwhile.
    const QString path = FilePath();
    if (!path.isEmpty()) {
        const QHash<QString, double> stored = Stored(path);
        if (const auto found = stored.constFind(line); found != stored.cend()) {
            m_levels.insert(line, *found);
            return *found;
        }
    }
    const std::optional<double> measured = measure();
    if (!measured)
        return std::nullopt;
    m_levels.insert(line, *measured);
    const auto existing = path.isEmpty() ? Fs::Result<Fs::Status>::Failure(ENOENT) : Fs::LinkStat(path);
    const bool ours = existing ? existing->kind == Fs::Kind::Regular && existing->owner == Fs::UserId()
                               : existing.Error() == ENOENT;
    if (!path.isEmpty() && ours) {
        // What the file holds now, with this one: written whole beside it and renamed over it.
        QHash<QString, double> stored = Stored(path);
        stored.insert(line, *measured);
        QStringList keys = stored.keys();
        keys.sort();
        QByteArray bytes = Header();
        for (const QString &k : std::as_const(keys))
            bytes += QByteArray::number(stored.value(k), 'f', 1) + '\t' + k.toUtf8() + '\n';
        Fs::WriteReplacing(path, bytes, 0600);
    }
    return measured;
}
