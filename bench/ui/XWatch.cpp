// Times taken from the X server's own events, for the start-up, preview and
// typing figures of bench/startup.sh. Nothing here polls: every figure is the
// time of an event (a window mapped or unmapped, a region of a window
// repainted) against the moment the tool started the program or sent a key.
//
//   xwatch start MAIN-TITLE RSS-AFTER-MS LOG -- COMMAND [ARGS...]
//     Starts COMMAND in a process group of its own (output to LOG) and prints
//     one line per top-level window mapped or unmapped:
//       map|unmap MS WINDOW TITLE
//     (MS: milliseconds since the start). RSS-AFTER-MS after the first window
//     titled MAIN-TITLE (or one of its '|'-separated alternatives) is mapped
//     it prints
//       rss KB PROCESSES
//     (resident memory of the program and every descendant), then ends the
//     process group and exits; SIGTERM or SIGINT end it (and the program)
//     sooner.
//
//   xwatch paint TITLE X,Y,W,H KEY [TIMEOUT-MS]
//     Sends KEY (an X keysym name such as F5) to the mapped window titled
//     TITLE and prints "paint MS" once the rectangle X,Y,W,H of that window
//     holds at least 40 more dark pixels than before the key: the time until
//     a page shows there. Follows the window when the toolkit replaces it.
//
//   xwatch keys TITLE X,Y,W,H KEY COUNT [GAP-MS]
//     Sends KEY COUNT times to the window titled TITLE; for each, the time
//     from the key to the first repaint of the rectangle X,Y,W,H (the caret
//     panel: it is repainted with every character typed). Prints
//     "key MS" per key, then "keys median MS max MS".
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xdamage.h>
#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <fcntl.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

double NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

[[noreturn]] void Die(const char* what) {
  std::fprintf(stderr, "xwatch: %s\n", what);
  std::exit(2);
}

std::string Title(Display* display, Window window) {
  static const Atom netName = XInternAtom(display, "_NET_WM_NAME", False);
  static const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string title;
  if (XGetWindowProperty(display, window, netName, 0, 1024, False, utf8, &type, &format, &count,
                         &after, &data) == Success &&
      data != nullptr) {
    title.assign(reinterpret_cast<char*>(data), count);
    XFree(data);
    if (!title.empty()) return title;
  }
  char* name = nullptr;
  if (XFetchName(display, window, &name) && name != nullptr) {
    title = name;
    XFree(name);
  }
  return title;
}

// The mapped top-level window with this title, if there is one.
std::optional<Window> FindWindow(Display* display, const std::string& title) {
  Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
  unsigned int count = 0;
  std::optional<Window> found;
  if (!XQueryTree(display, root, &root, &parent, &children, &count)) return found;
  for (unsigned int i = 0; i < count; ++i) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display, children[i], &attributes) &&
        attributes.map_state == IsViewable && Title(display, children[i]) == title) {
      found = children[i];  // the topmost one wins
    }
  }
  if (children != nullptr) XFree(children);
  return found;
}

// Set by SIGTERM and SIGINT in the start mode.
volatile sig_atomic_t g_stop = 0;

// Waits for the next X event or until deadline (NowMs() time); false on
// timeout or when told to stop.
bool NextEvent(Display* display, XEvent* event, double deadline) {
  while (XPending(display) == 0) {
    const double left = deadline - NowMs();
    if (left <= 0 || g_stop) return false;
    pollfd fd{ConnectionNumber(display), POLLIN, 0};
    poll(&fd, 1, static_cast<int>(left) + 1);
    if (fd.revents != 0 && XPending(display) == 0) XSync(display, False);
  }
  XNextEvent(display, event);
  return true;
}

// --- start -----------------------------------------------------------------

// Resident kilobytes and number of the processes in the tree below root.
std::pair<long, int> TreeRss(pid_t root) {
  std::map<pid_t, pid_t> parents;
  if (DIR* proc = opendir("/proc")) {
    while (dirent* entry = readdir(proc)) {
      const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
      if (pid <= 0) continue;
      std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
      std::string line;
      if (!std::getline(stat, line)) continue;
      const size_t close = line.rfind(')');
      if (close == std::string::npos) continue;
      std::istringstream rest(line.substr(close + 2));
      char state;
      pid_t parent;
      rest >> state >> parent;
      parents[pid] = parent;
    }
    closedir(proc);
  }
  long total = 0;
  int processes = 0;
  for (const auto& [pid, parent] : parents) {
    pid_t up = pid;
    while (up != root && up > 1 && parents.count(up)) up = parents[up];
    if (up != root) continue;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("VmRSS:", 0) == 0) {
        total += std::atol(line.c_str() + 6);
        ++processes;
      }
    }
  }
  return {total, processes};
}

int Start(Display* display, const std::string& mainTitle, int rssAfterMs, const char* log,
          char** command) {
  const Window root = DefaultRootWindow(display);
  XSelectInput(display, root, SubstructureNotifyMask);
  XSync(display, False);

  const double start = NowMs();
  const pid_t child = fork();
  if (child < 0) Die("fork failed");
  if (child == 0) {
    setpgid(0, 0);
    const int out = open(log, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0) {
      dup2(out, 1);
      dup2(out, 2);
    }
    execvp(command[0], command);
    _exit(127);
  }
  setpgid(child, child);
  struct sigaction stop {};
  stop.sa_handler = [](int) { g_stop = 1; };
  sigaction(SIGTERM, &stop, nullptr);
  sigaction(SIGINT, &stop, nullptr);

  std::map<Window, std::string> titles;
  double deadline = start + 60000;  // the main window must come within a minute
  bool mainSeen = false;
  int result = 1;
  for (;;) {
    XEvent event;
    if (g_stop) break;
    if (!NextEvent(display, &event, deadline)) {
      if (g_stop) break;
      if (mainSeen) {
        const auto [kb, processes] = TreeRss(child);
        std::printf("rss %ld %d\n", kb, processes);
        result = 0;
      } else {
        std::fprintf(stderr, "xwatch: no window \"%s\"\n", mainTitle.c_str());
      }
      break;
    }
    if (event.type == MapNotify && event.xmap.event == root) {
      const double at = NowMs() - start;
      const Window window = event.xmap.window;
      titles[window] = Title(display, window);
      std::printf("map %.3f 0x%lx %s\n", at, window, titles[window].c_str());
      if (!mainSeen &&
          ("|" + mainTitle + "|").find("|" + titles[window] + "|") != std::string::npos) {
        mainSeen = true;
        deadline = NowMs() + rssAfterMs;
      }
    } else if (event.type == UnmapNotify && event.xunmap.event == root) {
      const double at = NowMs() - start;
      std::printf("unmap %.3f 0x%lx %s\n", at, event.xunmap.window,
                  titles[event.xunmap.window].c_str());
    }
    std::fflush(stdout);
    int status;
    if (waitpid(child, &status, WNOHANG) == child) {
      std::fprintf(stderr, "xwatch: the program ended early\n");
      return 1;
    }
  }
  std::fflush(stdout);
  kill(-child, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    int status;
    if (waitpid(child, &status, WNOHANG) == child) break;
    usleep(20000);
  }
  kill(-child, SIGKILL);
  waitpid(child, nullptr, 0);
  return result;
}

// --- paint and keys --------------------------------------------------------

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
};

Rect ParseRect(const char* text) {
  Rect rect;
  if (std::sscanf(text, "%d,%d,%d,%d", &rect.x, &rect.y, &rect.width, &rect.height) != 4 ||
      rect.width <= 0 || rect.height <= 0) {
    Die("a rectangle is X,Y,W,H");
  }
  return rect;
}

// The rectangle's pixels as grey levels (0 to 255); empty when the window
// cannot be read (it was just replaced).
std::vector<unsigned char> Grab(Display* display, Window window, const Rect& rect) {
  std::vector<unsigned char> grey;
  XErrorHandler old = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  XImage* image = XGetImage(display, window, rect.x, rect.y, static_cast<unsigned>(rect.width),
                            static_cast<unsigned>(rect.height), AllPlanes, ZPixmap);
  XSync(display, False);
  XSetErrorHandler(old);
  if (image == nullptr) return grey;
  grey.reserve(static_cast<size_t>(rect.width) * static_cast<size_t>(rect.height));
  for (int y = 0; y < rect.height; ++y) {
    for (int x = 0; x < rect.width; ++x) {
      const unsigned long pixel = XGetPixel(image, x, y);
      const unsigned r = (pixel >> 16) & 0xFF, g = (pixel >> 8) & 0xFF, b = pixel & 0xFF;
      grey.push_back(static_cast<unsigned char>((r * 11 + g * 16 + b * 5) / 32));
    }
  }
  XDestroyImage(image);
  return grey;
}

int DarkPixels(const std::vector<unsigned char>& grey) {
  return static_cast<int>(std::count_if(grey.begin(), grey.end(), [](auto v) { return v < 128; }));
}

bool Intersects(const Rect& a, const XRectangle& b) {
  return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

class Watcher {
 public:
  Watcher(Display* display, const std::string& title) : display_(display), title_(title) {
    int error = 0;
    if (!XDamageQueryExtension(display, &damageEvent_, &error)) Die("no DAMAGE extension");
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    const std::optional<Window> window = FindWindow(display, title);
    if (!window) Die("no such window");
    Follow(*window);
  }

  Window window() const { return window_; }

  void Focus() {
    XSetInputFocus(display_, window_, RevertToParent, CurrentTime);
    XSync(display_, False);
  }

  void Key(const char* name) {
    const KeySym sym = XStringToKeysym(name);
    if (sym == NoSymbol) Die("unknown key name");
    const KeyCode code = XKeysymToKeycode(display_, sym);
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    XFlush(display_);
  }

  // Waits until a repaint touching rect makes done(pixels) true; the time
  // of that repaint's event, or a negative number on timeout.
  template <typename Done>
  double WaitRepaint(const Rect& rect, double deadline, Done done) {
    for (;;) {
      XEvent event;
      if (!NextEvent(display_, &event, deadline)) return -1;
      const double at = NowMs();
      if (event.type == damageEvent_ + XDamageNotify) {
        const auto* notify = reinterpret_cast<XDamageNotifyEvent*>(&event);
        if (notify->drawable != window_ || !Intersects(rect, notify->area)) continue;
        // Later rectangles of the same repaint are already queued; read the
        // pixels once they have arrived.
        if (notify->more) continue;
        if (done(Grab(display_, window_, rect))) return at;
      } else if (event.type == MapNotify && Title(display_, event.xmap.window) == title_) {
        Follow(event.xmap.window);  // the toolkit replaced the window
        if (done(Grab(display_, window_, rect))) return at;
      }
    }
  }

 private:
  void Follow(Window window) {
    if (damage_ != 0) {
      XErrorHandler old = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
      XDamageDestroy(display_, damage_);
      XSync(display_, False);
      XSetErrorHandler(old);
    }
    window_ = window;
    damage_ = XDamageCreate(display_, window, XDamageReportRawRectangles);
    XSync(display_, False);
  }

  Display* display_;
  std::string title_;
  int damageEvent_ = 0;
  Window window_ = 0;
  Damage damage_ = 0;
};

int Paint(Display* display, const std::string& title, const Rect& rect, const char* key,
          int timeoutMs) {
  Watcher watcher(display, title);
  watcher.Focus();
  usleep(200000);
  const int before = DarkPixels(Grab(display, watcher.window(), rect));
  const double start = NowMs();
  watcher.Key(key);
  const double at = watcher.WaitRepaint(rect, start + timeoutMs, [&](const auto& grey) {
    return !grey.empty() && DarkPixels(grey) >= before + 40;
  });
  if (at < 0) {
    std::printf("paint timeout\n");
    return 1;
  }
  std::printf("paint %.3f\n", at - start);
  return 0;
}

int Keys(Display* display, const std::string& title, const Rect& rect, const char* key, int count,
         int gapMs) {
  Watcher watcher(display, title);
  watcher.Focus();
  usleep(200000);
  std::vector<double> times;
  for (int i = 0; i < count; ++i) {
    const double start = NowMs();
    watcher.Key(key);
    // Any repaint of the caret panel: its text may have changed only where
    // the panel clips it (long line numbers).
    const double at = watcher.WaitRepaint(rect, start + 5000, [](const auto&) { return true; });
    if (at < 0) {
      std::printf("key timeout\n");
      return 1;
    }
    times.push_back(at - start);
    std::printf("key %.3f\n", at - start);
    // Let the program settle before the next key, draining late events.
    XEvent event;
    const double quiet = NowMs() + gapMs;
    while (NextEvent(display, &event, quiet)) {
    }
  }
  std::sort(times.begin(), times.end());
  std::printf("keys median %.3f max %.3f\n", times[times.size() / 2], times.back());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) Die("cannot open the display");
  if (mode == "start" && argc > 6 && std::strcmp(argv[5], "--") == 0) {
    return Start(display, argv[2], std::atoi(argv[3]), argv[4], argv + 6);
  }
  if (mode == "paint" && argc >= 5) {
    return Paint(display, argv[2], ParseRect(argv[3]), argv[4],
                 argc > 5 ? std::atoi(argv[5]) : 30000);
  }
  if (mode == "keys" && argc >= 6) {
    return Keys(display, argv[2], ParseRect(argv[3]), argv[4], std::atoi(argv[5]),
                argc > 6 ? std::atoi(argv[6]) : 100);
  }
  std::fprintf(stderr,
               "usage: xwatch start MAIN-TITLE RSS-AFTER-MS LOG -- COMMAND...\n"
               "       xwatch paint TITLE X,Y,W,H KEY [TIMEOUT-MS]\n"
               "       xwatch keys TITLE X,Y,W,H KEY COUNT [GAP-MS]\n");
  return 2;
}
