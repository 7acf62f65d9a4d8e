#pragma once

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

// Opens /dev/null on each of standard input, output and error that is closed, so that nothing
// the program opens later (a lock file, the device) takes their place and receives its
// messages. Called first thing in main. Header only and without Qt, so the simulator shares it.
inline void openMissingStandardDescriptors()
{
    // open() takes the lowest free number: the one just found closed.
    for (int fd = 0; fd <= 2; ++fd)
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF)
            ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
}
