#include "memorybudget.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace {

// Bytes the process holds in memory, from /proc: cheap enough to ask every few blocks.
qint64 residentBytes()
{
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char text[128];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0)
        return 0;
    text[n] = '\0';
    unsigned long long size = 0, resident = 0;
    if (std::sscanf(text, "%llu %llu", &size, &resident) != 2)
        return 0;
    return qint64(resident) * ::sysconf(_SC_PAGESIZE);
}

} // namespace

MemoryBudget::MemoryBudget(qint64 allowed) : allowed_(allowed), limit_(residentBytes() + allowed)
{
}

void MemoryBudget::check()
{
    if (exceeded_ || residentBytes() > limit_) {
        exceeded_ = true;
        throw DocumentTooLarge("reading it takes more memory than a document may");
    }
}
