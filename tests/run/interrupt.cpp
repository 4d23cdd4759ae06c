// The signal handler of a run, in a child process: a signal that comes
// while the work between two convergence passes is deferred waits, also
// through the holds and releases of the writers inside it; at the end of
// the deferral the kept files are put back as they were handed over, the
// last lines are written and the process ends with 128 + the signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "run/interrupt.hpp"
#include "support/tmpdir.hpp"

TEST(Interrupt, DeferredSignalWaitsThenPutsBackTheKeptFiles) {
  scratch_dir dir;
  scratch_dir::write_file("a.out", "pass 5, its first rows");
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    dup2(fds[1], STDOUT_FILENO);
    interrupt_install();
    interrupt_keep({{"a.out", "pass 4, whole\n"}}, " the result files hold pass 4\n");
    interrupt_defer(true);
    raise(SIGTERM);
    (void)!write(STDOUT_FILENO, "alive\n", 6);
    interrupt_hold();  // a writer's row inside the deferral
    interrupt_release();
    (void)!write(STDOUT_FILENO, "still\n", 6);
    interrupt_defer(false);
    _exit(0);  // not reached: the signal acts at the end of the deferral
  }
  close(fds[1]);
  std::string out;
  char buf[256];
  for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 143);
  EXPECT_EQ(out, "alive\nstill\n\n\n interrupted after 0 of 0 sweep points\n the result files hold pass 4\n");
  EXPECT_EQ(scratch_dir::read_file("a.out"), "pass 4, whole\n");
}
