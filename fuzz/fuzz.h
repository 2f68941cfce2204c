#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// A property that must hold for every input; breaking it is a finding like a crash.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            std::abort();                                                                          \
    } while (false)

inline QString utf16Of(const uint8_t* data, size_t size)
{
    return QString(reinterpret_cast<const QChar*>(data), qsizetype(size / 2));
}
