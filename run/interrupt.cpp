#include "run/interrupt.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

#include "run/runfiles.hpp"

namespace {

// Read by the handler: lock-free atomics are async-signal-safe.
std::atomic<long> points_done{0}, points_total{0};
volatile std::sig_atomic_t held = 0, pending = 0, deferred = 0;
// Changed only while held (the signal fences keep the compiler from moving
// the changes out of that), so that the handler reads them whole; never
// destroyed, so that a signal during the process's exit reads no freed
// storage.
std::vector<kept_file>& kept = *new std::vector<kept_file>;
std::string& kept_note = *new std::string;
static_assert(std::atomic<long>::is_always_lock_free);

// Decimal digits of n, without the C library.
int put_number(char* buf, int at, int size, long n) {
  char digits[24];
  int k = 0;
  do {
    digits[k++] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n > 0 && k < 24);
  while (k > 0 && at < size) buf[at++] = digits[--k];
  return at;
}

int put_text(char* buf, int at, int size, const char* s) {
  while (*s && at < size) buf[at++] = *s++;
  return at;
}

void write_all(int fd, const char* p, std::size_t n) {
  for (std::size_t done = 0; done < n;) {
    const ssize_t w = write(fd, p + done, n - done);
    if (w <= 0) return;
    done += static_cast<std::size_t>(w);
  }
}

// The kept files written back over what the interrupted pass began.
void put_back_kept() {
  for (const kept_file& f : kept) {
    const int fd = open(f.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) continue;
    write_all(fd, f.bytes.data(), f.bytes.size());
    close(fd);
  }
}

// Scratch files removed, the kept files put back, the last lines written,
// the process ended: only async-signal-safe calls (unlink, open, write,
// close, _exit).
[[noreturn]] void stop(int sig) {
  remove_scratch_files();
  put_back_kept();
  char buf[160];
  const int n = interrupt_message(buf, sizeof buf, points_done.load(), points_total.load());
  write_all(STDOUT_FILENO, buf, static_cast<std::size_t>(n));
  write_all(STDOUT_FILENO, kept_note.data(), kept_note.size());
  _exit(128 + sig);
}

extern "C" void on_signal(int sig) {
  if (held || deferred) {
    pending = sig;
    return;
  }
  stop(sig);
}

}  // namespace

int interrupt_message(char* buf, int size, long done, long total) {
  int at = put_text(buf, 0, size, "\n\n interrupted after");
  at = put_text(buf, at, size, " ");
  at = put_number(buf, at, size, done);
  at = put_text(buf, at, size, " of ");
  at = put_number(buf, at, size, total);
  return put_text(buf, at, size, " sweep points\n");
}

void interrupt_install() {
  struct sigaction sa {};
  sa.sa_handler = on_signal;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    // A signal ignored when the program started (nohup, a background job
    // of a shell without job control) stays ignored.
    if (sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaction(sig, &sa, nullptr);
  }
}

void interrupt_points(long done, long total) {
  points_done.store(done);
  points_total.store(total);
}

void interrupt_reset() {
  pending = 0;
  deferred = 0;
  held = 0;
  interrupt_keep({}, "");
  interrupt_points(0, 0);
}

void interrupt_hold() { held = 1; }

void interrupt_release() {
  held = 0;
  if (pending && !deferred) stop(pending);
}

void interrupt_defer(bool on) {
  deferred = on ? 1 : 0;
  if (!on && pending && !held) stop(pending);
}

void interrupt_keep(std::vector<kept_file> files, std::string note) {
  const std::sig_atomic_t was = held;
  held = 1;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  kept = std::move(files);
  kept_note = std::move(note);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  held = was;
  if (!held && !deferred && pending) stop(pending);
}
