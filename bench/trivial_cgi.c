/* Baseline of the start-up benchmark: the least a statically linked CGI
   program can do (print a header and a line). */
#include <stdio.h>

int main(void) {
    fputs("Content-type: text/html\n\nok\n", stdout);
    return 0;
}
