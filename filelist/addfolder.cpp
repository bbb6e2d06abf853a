#include "filelist/addfolder.h"

#include "common/services.h"
#include "common/settingkeys.h"
#include "common/settings.h"
#include "common/statements.h"
#include "ui/filedialogs.h"
#include "ui/mainwindow.h"

using namespace Qt::StringLiterals;

QString BrowseForFolder(IFileDialogs &dialogs, const QString &prompt, const QString &start)
{
    return dialogs.PickFolder(prompt, start);
}

void PushButton4_Click(const Services &services, IMainWindow &window)
{
    Statements run(services.Reports(), SiteTag(u"Form1"_s, u"PushButton4_Click"_s));
    QString extension;
    run(100, [&] { extension = u"odt"_s; });
    run(104, [&] { WriteSetting(services.Settings(), SettingKey::Extension, extension); });
    QString picked;
    run(106, [&] {
        picked = BrowseForFolder(services.Dialogs(), u"Please select folder:"_s,
                                 ReadSetting(services.Settings(), SettingKey::LastFolder));
    });
    if (!run.If(108, [&] { return !picked.isEmpty(); }))
        return;
    QString folder;
    run(333, [&] { folder = picked; });
    run(334, [&] { WriteSetting(services.Settings(), SettingKey::LastFolder, folder); });
    run(110, [&] { window.SetPointer(MousePointer::Hourglass); });
    AddFolderFiles(run, services, window.ListView1(), folder, u"*."_s + extension);
    run(132, [&] { window.SetPointer(MousePointer::Default); });
}
