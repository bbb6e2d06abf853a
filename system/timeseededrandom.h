#pragma once

#include "api/random.h"

// A generator seeded with the time of day.
class TimeSeededRandom final : public IRandom
{
public:
    TimeSeededRandom();
    int Between(int low, int high) override;

private:
    unsigned int m_state;
};
