/* peak_rss <program> [arguments]: runs the program as a child of this small
   static process and writes the child's peak resident set in KB to standard
   error. A child started straight from a large process (the benchmark) would
   report that process's size when its own is smaller: the peak is carried
   across exec. Exits with the child's exit code (127 when it cannot start). */
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv) {
    if (argc < 2) return 127;
    pid_t pid = fork();
    if (pid < 0) return 127;
    if (pid == 0) {
        execv(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    struct rusage usage;
    if (wait4(pid, &status, 0, &usage) != pid) return 127;
    fprintf(stderr, "%ld\n", usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 127;
}
