#include <ctype.h>
#include <stdio.h>

/* Counts lines, words and bytes of standard input, like a small wc. */
int main(void) {
    long lines = 0, words = 0, bytes = 0;
    int c, in_word = 0;
    while ((c = getchar()) != EOF) {
        bytes++;
        if (c == '\n') lines++;
        if (isspace(c)) {
            in_word = 0;
        } else if (!in_word) {
            in_word = 1;
            words++;
        }
    }
    printf("%ld %ld %ld\n", lines, words, bytes);
    return 0;
}
