#include "speech/voicecatalogue.h"

#include "common/services.h"
#include "common/settingkeys.h"
#include "common/settings.h"
#include "common/statements.h"
#include "common/diagnostics.h"
#include "ui/messageboxes.h"
#include "ui/shell.h"
#include "api/speech.h"

using namespace Qt::StringLiterals;

QString VoiceSearchAddress()
{
    return u"https://duckduckgo.com/?q=microsoft%20text%20to%20speech%20voices"_s;
}

bool FillVoiceList(const Services &services, IVoiceList &list)
{
    Attempts step;

    std::unique_ptr<ISpeechVoice> voice;
    step([&] { voice = services.Speech().CreateVoice(); });
    if (voice) {
        step([&] { list.Clear(); });
        step([&] {
            for (const QString &description : services.Speech().VoiceDescriptions())
                list.AddItem(description);
        });
        step([&] {
            const double saved = SettingToNumber(ReadSetting(services.Settings(), SettingKey::Combo));
            if (saved < list.Count()) {
                // A saved index that no longer names a voice leaves nothing selected.
                const double index = RoundHalfEven(saved);
                list.SetListIndex(index >= 0 && index < list.Count() ? static_cast<int>(index) : -1);
            }
        });
    }
    if (!step.Failed())
        return true;
    services.Diagnose(u"No voices can be listed: "_s + step.Cause());
    services.Boxes().Information(u"No voices found within the 'Text to Speech' feature in the Windows Control Panel."_s);
    return false;
}

void PushButton8_Click(const Services &services, IVoiceList &list)
{
    Statements run(services.Reports(), SiteTag(u"Form1"_s, u"PushButton8_Click"_s));
    bool filled = false;
    run(100, [&] { filled = FillVoiceList(services, list); });
    run(102, [&] {
        if (filled)
            services.Boxes().Information(u"Done.\r\rList has been refreshed with the latest voices found within the "
                                        u"'Text to Speech' feature in the Windows Control Panel."_s);
    });
}

void PushButton6_Click(const Services &services)
{
    Statements run(services.Reports(), SiteTag(u"Form1"_s, u"PushButton6_Click"_s));
    QString address;
    run(100, [&] { address = VoiceSearchAddress(); });
    const QString br = u"\r\n"_s;
    bool yes = false;
    run(102, [&] {
        yes = services.Boxes().Question(
            u"This software uses Microsoft Text to Speech (TTS) as its backbone. If you would like to add voices, you "
            u"need to:"_s
            + br + br + u"1. Download them from the web."_s + br
            + u"2. Install them to the 'Text to Speech' feature in the Windows Control Panel."_s + br
            + u"2. Click the 'Refresh List' button in this software."_s + br + br
            + u"Would you like to see the voices available for download on the web?"_s);
    });
    if (!yes)
        return;
    run(104, [&] { services.Shell().Open(address); });
}
