#include "api/random.h"
#include "system/timeseededrandom.h"

#include <QRandomGenerator>
#include <QTime>

TimeSeededRandom::TimeSeededRandom()
    : m_state(static_cast<unsigned int>(QTime::currentTime().msecsSinceStartOfDay()))
{
}

int TimeSeededRandom::Between(int low, int high)
{
    QRandomGenerator generator(m_state++);
    return generator.bounded(low, high + 1);
}
