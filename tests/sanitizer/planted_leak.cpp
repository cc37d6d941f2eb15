// SPDX-License-Identifier: GPL-3.0-or-later
// Leaks one block of a size no other leak has, so its report can be recognised.
#include <cstdio>
#include <cstdlib>

namespace {
void *volatile kept;
}

int main()
{
    kept = std::malloc(4242);
    kept = nullptr;
    std::puts("leaked 4242 bytes");
    return 0;
}
