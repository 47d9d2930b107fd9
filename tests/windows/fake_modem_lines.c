/*
 * LD_PRELOAD helper for the Wine tests: a pseudo-terminal has no modem
 * lines, so TIOCMGET and friends fail on it, and Wine then refuses the port
 * event wait (received character, CTS change, ring) on a COM port mapped to
 * a pty. This makes those four requests succeed on pty slaves, with lines
 * kept per process, so that the library's event wait can be tested. Every
 * other request, and every other device, goes to the real ioctl.
 *
 * 32-bit glibc with 64-bit time calls __ioctl_time64 instead of ioctl: both
 * are hooked. Build once per architecture and preload as
 * '/dir/$LIB/libvqhw_fake_modem_lines.so' so that each process gets its own.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>

/* Unix98 pty slaves: majors 136 to 143. */
static int IsPtySlave(int fd) {
  struct stat st;
  return fstat(fd, &st) == 0 && S_ISCHR(st.st_mode) && major(st.st_rdev) >= 136 &&
         major(st.st_rdev) <= 143;
}

static int lines = TIOCM_DTR | TIOCM_RTS | TIOCM_CTS | TIOCM_DSR | TIOCM_CD;

/* 1 when the request was a modem-line one on a pty slave and is done. */
static int FakeModemLines(int fd, unsigned long request, void* argument) {
  if (argument == 0 ||
      (request != TIOCMGET && request != TIOCMSET && request != TIOCMBIS && request != TIOCMBIC) ||
      !IsPtySlave(fd)) {
    return 0;
  }
  int* value = (int*)argument;
  switch (request) {
    case TIOCMGET: *value = lines; break;
    case TIOCMSET: lines = *value; break;
    case TIOCMBIS: lines |= *value; break;
    default: lines &= ~*value; break;
  }
  return 1;
}

typedef int (*IoctlFunction)(int, unsigned long, ...);

static int Forward(const char* name, int fd, unsigned long request, void* argument) {
  IoctlFunction real = (IoctlFunction)dlsym(RTLD_NEXT, name);
  return real(fd, request, argument);
}

int ioctl(int fd, unsigned long request, ...) {
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  return FakeModemLines(fd, request, argument) ? 0 : Forward("ioctl", fd, request, argument);
}

#if defined(__i386__)
int __ioctl_time64(int fd, unsigned long request, ...) {
  va_list arguments;
  va_start(arguments, request);
  void* argument = va_arg(arguments, void*);
  va_end(arguments);
  return FakeModemLines(fd, request, argument) ? 0 : Forward("__ioctl_time64", fd, request, argument);
}
#endif
