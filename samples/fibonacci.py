#!/usr/bin/env python3
"""Print the first Fibonacci numbers."""
import sys


def fibonacci(count):
    values = [0, 1]
    while len(values) < count:
        values.append(values[-1] + values[-2])
    return values[:count]


if __name__ == "__main__":
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 10
    print(", ".join(str(v) for v in fibonacci(count)))
