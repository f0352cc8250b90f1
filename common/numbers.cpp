#include "numbers.h"

#include <climits>
#include <cstdlib>

int to_int(const char* text)
{
    if (text == nullptr)
        return 0;
    const long long value = std::strtoll(text, nullptr, 10);  // saturates at LLONG limits
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

int64_t to_int64(const char* text)
{
    return text == nullptr ? 0 : static_cast<int64_t>(std::strtoll(text, nullptr, 10));
}

double to_double(const char* text)
{
    return text == nullptr ? 0.0 : std::strtod(text, nullptr);
}

int truncate_to_int(double value)
{
    if (value != value)
        return 0;
    if (value >= 2147483647.0)
        return INT_MAX;
    if (value <= -2147483648.0)
        return INT_MIN;
    return static_cast<int>(value);
}
