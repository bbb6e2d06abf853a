#include "app/outputlocation.h"

#include "common/services.h"
#include "common/settingkeys.h"
#include "common/settings.h"
#include "common/statements.h"
#include "filelist/addfolder.h"

using namespace Qt::StringLiterals;

// The option buttons and Text1 have no error report of their own: a store that cannot be
// written is left for the next change.
void Option_Click(const Services &services, IOutputLocation &controls)
{
    Quietly([&] { WriteSetting(services.Settings(), SettingKey::Option1, BooleanToSetting(controls.Option1Selected())); });
    Quietly([&] { WriteSetting(services.Settings(), SettingKey::Option2, BooleanToSetting(controls.Option2Selected())); });
    controls.EnableFrame6(controls.Option1Selected());
}

void Text1_Change(const Services &services, const QString &text)
{
    Quietly([&] { WriteSetting(services.Settings(), SettingKey::Text1, text); });
}

void PushButton7_Click(const Services &services, IOutputLocation &controls)
{
    Statements run(services.Reports(), SiteTag(u"Form1"_s, u"PushButton7_Click"_s));
    const QString chosen = run.Value(100, [&] {
        return BrowseForFolder(services.Dialogs(), u"Please select folder:"_s,
                               ReadSetting(services.Settings(), SettingKey::LastFolder));
    });
    if (!run.If(102, [&] { return !chosen.isEmpty(); }))
        return;
    // Stored and never read: kept because settings files of earlier versions hold it.
    run(104, [&] { WriteSetting(services.Settings(), SettingKey::LastFolderDot, chosen); });
    if (run.If(104, [&] { return !chosen.endsWith(u'/'); }))
        run(106, [&] { controls.SetText1(chosen + u'/'); });
    else
        run(108, [&] { controls.SetText1(chosen); });
}
