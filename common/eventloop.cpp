#include "common/eventloop.h"

#include <QCoreApplication>
#include <QThread>
#include <QTime>

void QtEventLoop::Yield()
{
    QCoreApplication::processEvents();
}

void QtEventLoop::Sleep(int milliseconds)
{
    QThread::msleep(static_cast<unsigned long>(milliseconds));
}

double QtEventLoop::SecondsSinceMidnight()
{
    return QTime::currentTime().msecsSinceStartOfDay() / 1000.0;
}
