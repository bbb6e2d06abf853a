#include "app/startup.h"

#include "app/controls.h"
#include "app/form1.h"
#include "app/outputlocation.h"
#include "app/workingfoldercheck.h"
#include "common/apptitle.h"
#include "common/buildconfig.h"
#include "common/helpers.h"
#include "ui/messageboxes.h"
#include "common/runtimeerror.h"
#include "common/settingkeys.h"
#include "common/settings.h"
#include "common/statements.h"
#include "filelist/samples.h"
#include "api/random.h"
#include "ui/shell.h"
#include "speech/voicecatalogue.h"

#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>

using namespace Qt::StringLiterals;

namespace {

// The skin: the window and its option buttons, frames and labels take the button-face
// colour, then the style sheet of x/o.cjs is applied.
void ApplySkin(Form1 &form, const QString &path)
{
    QPalette face = form.palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    form.setPalette(face);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw FileAccessError(path, file.errorString());
    Form1::Skin &skin = form.SkinFramework1();
    skin.styleSheet = QString::fromUtf8(file.readAll());
    skin.property1 |= 1;
    skin.property5 = true;
    skin.property10 = true;
    form.setStyleSheet(skin.styleSheet);
}

} // namespace

bool Form_Load(Form1 &form)
{
    const Services &services = form.services();
    Statements run(services.Reports(), SiteTag(u"Form1"_s, u"Form_Load"_s));
    const QString program = services.programFolder;
    ISettingsStore &settings = services.Settings();

    run(100, [&] {
        const QString skin = program + u"/x/o.cjs"_s;
        if (QFileInfo(skin).isFile())
            ApplySkin(form, skin);
    });
    if (run.If(102, [&] { return FileExists(program + u"/HAND-M.CUR"_s); }))
        run(104, [&] { form.LoadHandPointer(program + u"/HAND-M.CUR"_s); });
    run(106, [&] {
        // About one start in a hundred shows the maker's home page.
        if (services.Random().Between(1, 100) == 7)
            services.Shell().Open(QString::fromUtf8(kHomePage));
    });
    // The same test twice: a sample folder that is still empty is recorded again at the next start.
    if (run.If(108, [&] { return NoSampleSnapshot(services); }))
        run([&] { TakeSampleSnapshot(services); });
    if (run.If(128, [&] { return NoSampleSnapshot(services); }))
        run([&] { TakeSampleSnapshot(services); });
    run(130, [&] {
        form.setWindowTitle(QString::fromUtf8(kProductName));
        form.setWindowIcon(QIcon(u":/icons/vocatext.png"_s));
        services.Boxes().SetApplicationTitle(ApplicationTitle(QString::fromUtf8(kProductName)));
    });
    bool voices = true;
    run(132, [&] { voices = FillVoiceList(services, form.voiceList()); });
    if (!voices)
        return false;
    // Set as the user would move them: their handlers store the values again.
    run(134, [&] { SetSliderValue(*form.Slider1, StoredSliderValue(settings, SettingKey::VolumeLevel, 0, 100)); });
    run(136, [&] { SetSliderValue(*form.Slider2, StoredSliderValue(settings, SettingKey::SpeechRate, -10, 10)); });
    run(138, [&] { form.lblVolume->setText(u"Volume Level = "_s + QString::number(form.Slider1->value())); });
    run(140, [&] { form.lblSpeed->setText(u"Speech Rate = "_s + QString::number(form.Slider2->value())); });
    run(142, [&] {
        const QString desktop = services.Shell().DesktopFolder() + u'/';
        form.Text1->setText(ReadSetting(settings, SettingKey::Text1.Key(), desktop));
    });
    run(144, [&] { form.listView1()->setHeaderLabels({u" ODT File(s)"_s}); });
    run(146, [&] { form.listView1()->header()->resizeSection(0, Twips(0, 0, 7000, 0).width()); });
    // Selecting an option from code is a click on it, also when it was selected already.
    auto restoreOption = [&](QRadioButton *option, bool selected) {
        {
            const QSignalBlocker quiet1(form.Option1);
            const QSignalBlocker quiet2(form.Option2);
            option->setChecked(selected);
        }
        if (selected)
            Option_Click(services, form);
    };
    run(148, [&] { restoreOption(form.Option1, StoredBoolean(settings, SettingKey::Option1)); });
    run(150, [&] { restoreOption(form.Option2, StoredBoolean(settings, SettingKey::Option2)); });
    if (run.If(152, [&] { return form.Option1->isChecked(); }))
        run(154, [&] { form.Frame6->setEnabled(true); });
    else
        run(156, [&] { form.Frame6->setEnabled(false); });
    run(156, [&] { CheckWorkingFolder(services); });
    return true;
}
