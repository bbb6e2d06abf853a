// vocatext-cmd: runs Vocatext's command files.
//
//   vocatext-cmd /c FILE
//
// Each line of FILE is run in turn. The one command known is
//   copy /y "src1" /b + "src2" /b ... "dst"
// which writes the bytes of the sources, in order, to dst (overwriting it). A missing
// source is reported on standard error, left out, and makes the exit code 1; any other
// command gives exit code 1. The exit code is 0 when every line succeeded.
#include "filesystem/filesystem.h"
#include "tools/batch.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char *argv[])
{
    EndCleanlyOnSignals();
    QCoreApplication app(argc, argv);
    // The file's name as its bytes are, whether or not they are UTF-8.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(FileSystem::NameFromNative(argv[i]));
    if (arguments.size() != 3 || arguments[1].compare(QStringLiteral("/c"), Qt::CaseInsensitive) != 0) {
        std::fprintf(stderr, "usage: vocatext-cmd /c FILE\n");
        return 1;
    }
    return RunBatchFile(arguments[2], [](const QString &message) {
        std::fprintf(stderr, "%s\n", FileSystem::NativeName(message).constData());
    });
}
