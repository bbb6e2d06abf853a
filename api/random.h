#pragma once

// A source of pseudo-random whole numbers.
class IRandom
{
public:
    virtual ~IRandom() = default;
    /// A whole number from low to high, both included.
    virtual int Between(int low, int high) = 0;
};
