#include <gtest/gtest.h>

#ifdef VOCATEXT_WIDGET_TESTS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#endif

#include <QTemporaryDir>

#include <sys/stat.h>

int main(int argc, char **argv)
{
    // A runtime folder of the tests' own: no fallback working folder, and no audio library's
    // sockets, ever land in the folders of the user who runs them.
    QTemporaryDir runtime;
    ::chmod(runtime.path().toLocal8Bit().constData(), 0700);
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
#ifdef VOCATEXT_WIDGET_TESTS
    qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
