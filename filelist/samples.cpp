#include "filelist/samples.h"

#include "common/codepage.h"
#include "common/eventloop.h"
#include "common/helpers.h"
#include "common/services.h"
#include "common/settingkeys.h"
#include "common/settings.h"
#include "filelist/addfolder.h"
#include "common/documentlist.h"
#include "ui/messageboxes.h"
#include "ui/shell.h"

using namespace Qt::StringLiterals;

namespace {

QString SampleFolder(const Services &services)
{
    return services.programFolder + u"/Samples"_s;
}

template<typename Combine>
QString Transform(IEventLoop &events, const QString &text, const QString &key, Combine combine)
{
    QString out;
    out.reserve(text.size());
    qsizetype k = 0;
    for (const QChar c : text) {
        const int code = combine(CodePage::Asc(c.unicode()), CodePage::Asc(key[k].unicode()));
        out.append(CodePage::Chr(code));
        k = (k + 1) % std::min<qsizetype>(key.size(), 8);
        events.Yield();
    }
    return out;
}

} // namespace

QString ScrambleText(IEventLoop &events, const QString &text, const QString &key)
{
    return Transform(events, text, key, [](int c, int k) { return c + k >= 256 ? c + k - 255 : c + k; });
}

QString UnscrambleText(IEventLoop &events, const QString &text, const QString &key)
{
    return Transform(events, text, key, [](int c, int k) { return c - k <= 0 ? c - k + 255 : c - k; });
}

bool IsInFileList(const IDocumentList &list, const QString &path)
{
    bool found = false;
    for (int i = 1; i <= list.Count(); ++i) {
        if (list.Text(i) == path)
            found = true;
    }
    return found;
}

bool NoSampleSnapshot(const Services &services)
{
    const QString stored = ReadSetting(services.Settings(), SettingKey::Snapshot);
    if (stored.isEmpty())
        return true;
    const QString ours = SampleFolder(services) + u'/';
    for (const QString &path : UnscrambleText(services.Events(), stored, QString::fromUtf16(kSnapshotKey)).split(u'|')) {
        if (path.startsWith(ours) || FileExists(path))
            return false;
    }
    return true;
}

void TakeSampleSnapshot(const Services &services)
{
    QString text;
    for (const QString &name : ListFolderFiles(SampleFolder(services), u"*.*"_s))
        text += SampleFolder(services) + u'/' + name + u'|';
    if (!text.isEmpty())
        text.chop(1);
    WriteSetting(services.Settings(), SettingKey::Snapshot,
                 ScrambleText(services.Events(), text, QString::fromUtf16(kSnapshotKey)));
}

void LoadSampleFiles(const Services &services, IDocumentList &list)
{
    const QString snapshot = UnscrambleText(services.Events(), ReadSetting(services.Settings(), SettingKey::Snapshot),
                                            QString::fromUtf16(kSnapshotKey));
    const QStringList paths = snapshot.isEmpty() ? QStringList() : snapshot.split(u'|');
    for (const QString &path : paths) {
        if (FileExists(path) && !IsInFileList(list, path))
            list.Append(path);
    }
    if (services.Boxes().Question(u"Would you like this software to open the folder where these sample files are "
                                 u"stored (so that you can view them before working with them)?"_s))
        services.Shell().Open(SampleFolder(services) + u'/');
}
