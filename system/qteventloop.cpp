#include "system/qteventloop.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

void QtEventLoop::Yield()
{
    QCoreApplication::processEvents();
}

void QtEventLoop::Sleep(int milliseconds)
{
    if (!QCoreApplication::instance()) {
        QThread::msleep(static_cast<unsigned long>(milliseconds));
        return;
    }
    // The thread sleeps in the event loop: no CPU is used and the window stays alive.
    QEventLoop loop;
    QTimer::singleShot(milliseconds, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}
