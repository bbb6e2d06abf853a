#include "app/workingfoldercheck.h"

#include "common/buildconfig.h"
#include "common/helpers.h"
#include "common/services.h"
#include "common/statements.h"
#include "common/diagnostics.h"
#include "ui/messageboxes.h"
#include "api/workingfolder.h"

using namespace Qt::StringLiterals;

bool CheckWorkingFolder(const Services &services)
{
    IEventLoop &events = services.Events();
    Attempts step;

    const QString testText = u"Quillmark Temp Folder Test file"_s;
    QString testFile;
    QString readBack;
    step([&] { testFile = FixPathSlashes(services.WorkingFolder().Path() + u"/TempTest.txt"_s); });
    step([&] { KillFile(events, testFile); });
    step([&] { WriteTextFile(testText, testFile); });
    step([&] {
        if (FileExists(testFile)) {
            QString text = ReadTextFile(testFile);
            text.remove(u"\r\n"_s).remove(u'\r').remove(u'\n');
            while (text.startsWith(u' '))
                text.remove(0, 1);
            while (text.endsWith(u' '))
                text.chop(1);
            readBack = text;
        }
    });
    step([&] { KillFile(events, testFile); });

    const bool passed = !step.Failed() && !testText.isEmpty() && !readBack.isEmpty() && testText == readBack;
    if (!passed) {
        services.Diagnose(u"The working folder cannot be used: "_s
                                        + (step.Failed() ? step.Cause() : u"the test file did not read back as written"_s));
        const QString br = u"\r\n"_s;
        services.Boxes().Information(u"Software cannot access your TEMP folder."_s + br + br
                                    + u"It needs to access the TEMP folder to work correctly."_s + br + br
                                    + u"Please delete files in your"_s + br + br
                                    + services.WorkingFolder().ForDisplay() + br + br + u"folder"_s + br + br
                                    + u"Please email "_s + QString::fromUtf8(kSupportAddress)
                                    + u" if you have any questions."_s);
    }
    return passed;
}
