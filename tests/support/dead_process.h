// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

// A process id that surely belongs to no running process: a child that has been reaped.
inline pid_t deadPid()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}
