#include "speech/ratevolume.h"

#include "common/buildconfig.h"
#include "common/eventloop.h"
#include "ui/mainwindow.h"
#include "ui/messageboxes.h"
#include "common/services.h"
#include "common/settingkeys.h"
#include "common/settings.h"
#include "common/statements.h"
#include "pipeline/speak.h"

using namespace Qt::StringLiterals;

namespace {

// A slider moved while a run or the test speech is busy is refused and set back to its
// stored value; otherwise its label and its setting follow it.
void SliderChange(const Services &services, const WindowState &state, ISliderControl &slider, ICaption &label,
                  const QString &procedure, const QString &caption, const Setting &key, int missing)
{
    Statements run(services.Reports(), SiteTag(u"Form1"_s, procedure));
    if (run.If(100, [&] { return state.IsBusy; })) {
        slider.StopRepeat();
        run(114, [&] { services.Boxes().Information(u"You can not adjust because file is being saved now."_s); });
        run(116, [&] { slider.SetValueQuietly(SettingToWholeNumber(ReadSetting(services.Settings(), key.Key(), missing))); });
        return;
    }
    run(102, [&] { label.SetCaption(caption + QString::number(slider.Value())); });
    run(104, [&] { WriteSetting(services.Settings(), key, QString::number(slider.Value())); });
}

} // namespace

void Slider1_Change(const Services &services, const WindowState &state, ISliderControl &slider1, ICaption &lblVolume)
{
    SliderChange(services, state, slider1, lblVolume, u"Slider1_Change"_s, u"Volume Level = "_s,
                 SettingKey::VolumeLevel, 100);
}

void Slider2_Change(const Services &services, const WindowState &state, ISliderControl &slider2, ICaption &lblSpeed)
{
    // A refused move goes back to a missing rate as 0, not to the
    // start-up default of -3.
    SliderChange(services, state, slider2, lblSpeed, u"Slider2_Change"_s, u"Speech Rate = "_s,
                 SettingKey::SpeechRate, 0);
}

void Combo1_Click(const Services &services, int selectedIndex)
{
    Quietly([&] { WriteSetting(services.Settings(), SettingKey::Combo, QString::number(selectedIndex)); });
}

void PushButton14_Click(const Services &services, IMainWindow &window, Speak &speak)
{
    Statements run(services.Reports(), SiteTag(u"Form1"_s, u"PushButton14_Click"_s));
    WindowState &state = window.State();
    if (run.If(100, [&] { return state.IsBusy; }))
        return;
    run(102, [&] { state.IsBusy = true; });
    run(104, [&] { window.SetPointer(MousePointer::Hourglass); });
    run(106, [&] { services.Events().Yield(); });
    run(108, [&] {
        const SpeechChoice choice{window.Combo1Index(), window.Slider1Value(), window.Slider2Value()};
        ShowVoiceFailure(services, speak.SaveToWAV(services.Reports(), choice, u"This is a test"_s, QString()));
    });
    run(110, [&] { window.SetPointer(MousePointer::Default); });
    run(112, [&] { state.IsBusy = false; });
}

void ShowVoiceFailure(const Services &services, const SpeechOutcome &outcome)
{
    Statements run(services.Reports(), SiteTag(u"Speak"_s, u"SaveToWAV"_s));
    run.At(140);
    if (run.If(142, [&] { return outcome.ClassNotRegistered(); })) {
        run(144, [&] {
            services.Boxes().Information(outcome.description + u"\r\r"_s
                                         + u"Please try selecting another voice from the dropdown."_s);
        });
    }
}

void PushButton9_Click(const Services &services)
{
    Statements run(services.Reports(), SiteTag(u"Form1"_s, u"PushButton9_Click"_s));
    const QString br = u"\r\n"_s;
    run(100, [&] {
        services.Boxes().Information(
            u"Most Windows software and most software on "_s + QString::fromUtf8(kMakerHost)
            + u" allow you to multitask (do other things) while it is running."_s + br + br
            + u"This software is an exception. This software uses a lot of resources. Please allow the software to "
              u"run without multitasking so that it does not crash."_s
            + br + br + u"Please walk away from the computer and do something else if you are tempted to multitask."_s);
    });
}
