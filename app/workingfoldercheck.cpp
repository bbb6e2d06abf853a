#include "app/workingfoldercheck.h"

#include "common/buildconfig.h"
#include "common/helpers.h"
#include "common/statements.h"
#include "common/workingfolder.h"
#include "platform/messageboxes.h"

using namespace Qt::StringLiterals;

bool CheckWorkingFolder(IMessageBoxes &boxes, IEventLoop &events)
{
    Attempts step;

    const QString testText = u"Quillmark Temp Folder Test file"_s;
    QString testFile;
    QString readBack;
    step([&] { testFile = FixPathSlashes(WorkingFolder() + u"/TempTest.txt"_s); });
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
        const QString br = u"\r\n"_s;
        boxes.Information(u"Software cannot access your TEMP folder."_s + br + br
                          + u"It needs to access the TEMP folder to work correctly."_s + br + br
                          + u"Please delete files in your"_s + br + br + WorkingFolderForDisplay() + br + br
                          + u"folder"_s + br + br + u"Please email "_s + QString::fromUtf8(kSupportAddress)
                          + u" if you have any questions."_s);
    }
    return passed;
}
