/* peak_rss OUTPUT PROGRAM [ARGS...]: runs the program and writes its peak resident memory in KiB
 * (ru_maxrss, what /usr/bin/time -f %M shows) to OUTPUT; exits with the program's status.
 *
 * The kernel counts the memory a process had before it called exec into its peak, so a test
 * that forks itself would measure its own size. This small program forks instead. */
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: peak_rss OUTPUT PROGRAM [ARGS...]\n");
    return 125;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    execv(argv[2], argv + 2);
    _exit(127);
  }
  int status = 0;
  struct rusage usage;
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return 125;
  FILE* out = fopen(argv[1], "w");
  if (!out) return 125;
  fprintf(out, "%ld\n", usage.ru_maxrss);
  fclose(out);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
