/* SPDX-License-Identifier: GPL-3.0-or-later */
/* Functions whose arguments fill every register that carries them and spill onto the stack. */
#include <stdarg.h>

static int calls;

long lazy_probe_integers(long a, long b, long c, long d, long e, long f, long g, long h)
{
    ++calls;
    return a + 10 * b + 100 * c + 1000 * d + 10000 * e + 100000 * f + 1000000 * g + 10000000 * h;
}

double lazy_probe_doubles(double a, double b, double c, double d, double e, double f, double g,
                          double h, double i, int scale)
{
    ++calls;
    return (a + 2 * b + 3 * c + 4 * d + 5 * e + 6 * f + 7 * g + 8 * h + 9 * i) * scale;
}

/* Variadic: the caller passes the number of vector registers used in %al. */
double lazy_probe_sum_of(int count, ...)
{
    ++calls;
    va_list values;
    va_start(values, count);
    double sum = 0;
    for (int i = 0; i < count; ++i)
        sum += va_arg(values, double);
    va_end(values);
    return sum;
}

/* Returned in memory: the caller passes where in %rdi. */
struct lazy_probe_pair
{
    long first, second, third;
};

struct lazy_probe_pair lazy_probe_pair(long first, double second)
{
    ++calls;
    struct lazy_probe_pair pair = {first, (long)(second * 2), first * 3};
    return pair;
}

int lazy_probe_calls(void)
{
    return calls;
}
