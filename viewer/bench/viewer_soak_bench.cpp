// The real viewer left alone on a large server: the program `Tarvell` started on a private tree
// with 100 000 events and 100 000 alerts, the pages given opened (the alerts screen, then the
// detection monitor, which stays shown), and nothing changed on disk. Every 10 s, one reader
// tick, the bench reads /proc/<pid>/status (VmRSS) and /proc/<pid>/stat (utime + stime, in clock
// ticks) and the process's CPU clock (nanoseconds, which the 10 ms ticks of stat cannot resolve),
// and prints the resident size after the load and at the end, their ratio, and the CPU of a tick
// (median and worst). The floor, measured the same way in the same run: a process of this
// program holding the same rows in two plain QTableViews over the minimal model of FloorModel.h,
// idle. Run it from the build folder:
//
//   viewer/viewer_soak_bench [--seconds 600] [--pages 32797,32793] [--viewer PATH] [--no-floor]
//                            [--shot FILE.png] [--keep]
//
// Both programs run on the offscreen platform, unless --shot is given: the viewer then runs on
// the display of DISPLAY (Xvfb: xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96" ...) and the
// whole screen is saved after the load. --keep leaves the temporary tree and the programs' output.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QPixmap>
#include <QScreen>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <malloc.h>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "viewer/bench/FloorModel.h"
#include "viewer/bench/LargeServer.h"
#include "viewer/core/hub/Readers.h"

extern char** environ;

namespace tarvell {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTickSeconds = 10;       // the readers' interval
constexpr int kQuietWindowMs = 3000;   // the load is over when a window this long ...
constexpr double kQuietCpuMs = 30;     // ... takes less CPU than this
constexpr int kFirstPassSeconds = 13;  // past the readers' first pass (10 s after the start)
constexpr int kLoadLimitSeconds = 60;  // a program still busy then is measured as it is

struct Sample {
    double rssMb = 0;
    double hwmMb = 0;
    long statTicks = 0;  // utime + stime
    double cpuMs = 0;    // the process's CPU clock
};

std::optional<std::string> ReadProc(pid_t pid, const char* name) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + name);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

double StatusMb(const std::string& status, const char* field) {
    const std::size_t at = status.find(field);
    if (at == std::string::npos) return 0;
    return std::strtod(status.c_str() + at + std::strlen(field), nullptr) / 1024.0;
}

std::optional<Sample> Take(pid_t pid) {
    const auto status = ReadProc(pid, "status");
    const auto stat = ReadProc(pid, "stat");
    if (!status || !stat) return std::nullopt;
    Sample s;
    s.rssMb = StatusMb(*status, "VmRSS:");
    s.hwmMb = StatusMb(*status, "VmHWM:");
    // The fields after the command's closing parenthesis: state is field 3, utime 14, stime 15.
    const std::size_t close = stat->rfind(')');
    if (close == std::string::npos) return std::nullopt;
    std::istringstream fields(stat->substr(close + 2));
    std::string field;
    for (int n = 3; n <= 15 && fields >> field; ++n)
        if (n == 14 || n == 15) s.statTicks += std::atol(field.c_str());
    clockid_t clock{};
    timespec t{};
    if (clock_getcpuclockid(pid, &clock) == 0 && clock_gettime(clock, &t) == 0)
        s.cpuMs = static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
    else
        s.cpuMs =
            static_cast<double>(s.statTicks) * 1e3 / static_cast<double>(sysconf(_SC_CLK_TCK));
    return s;
}

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::string& output) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> args, vars;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const std::string& v : env) vars.push_back(const_cast<char*>(v.c_str()));
    vars.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), vars.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void Stop(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 50; ++i) {
        if (::waitpid(pid, &status, WNOHANG) == pid) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
}

bool Alive(pid_t pid) {
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, WNOHANG) == 0;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// ---- the floor process

int RunFloor(int argc, char** argv, const std::string& folder) {
    QApplication app(argc, argv);
    std::vector<std::array<std::string, 5>> eventRows, alertRows;
    {
        std::optional<EventDatabaseFile> events = ReadEventsFile(folder);
        std::optional<AlertLogFile> alerts = ReadAlertsFile(folder);
        if (!events || !alerts) {
            std::fprintf(stderr, "The state files of %s could not be read; no floor.\n",
                         folder.c_str());
            return 1;
        }
        for (const auto& [key, e] : events->EventMap)
            eventRows.push_back({key, e->EventType, e->DeviceName, e->DevicePort, e->Current});
        for (const auto& [key, a] : alerts->AlertLog)
            alertRows.push_back({key, a->Category, a->EventType, a->DeviceName, a->Current});
    }
    bench::Floor events, alerts;
    events.model.Fill(eventRows);
    alerts.model.Fill(alertRows);
    eventRows = {};
    alertRows = {};
    malloc_trim(0);
    events.view.show();
    alerts.view.show();
    return QApplication::exec();  // idle until the bench ends it
}

// ---- the bench

struct Options {
    int seconds = 600;
    std::string pages = "32797,32793";  // the detection alerts, then the detection monitor
    std::string viewer;
    bool floor = true;
    std::string shot;
    bool keep = false;
};

std::string ProgramFolder() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    path[n] = '\0';
    std::string self(path);
    return self.substr(0, self.rfind('/'));
}

struct Watched {
    explicit Watched(const char* n) : name(n) {}
    const char* name;
    pid_t pid = -1;
    Sample opened, loaded, last;
    std::vector<double> tickCpuMs;
    std::vector<long> tickStatTicks;
    double rssMaxMb = 0;
};

void Report(const Watched& w) {
    if (w.pid <= 0) return;
    const double tickMs = 1e3 / static_cast<double>(sysconf(_SC_CLK_TCK));
    std::vector<double> statMs;
    for (long t : w.tickStatTicks) statMs.push_back(static_cast<double>(t) * tickMs);
    const double worst =
        w.tickCpuMs.empty() ? 0 : *std::max_element(w.tickCpuMs.begin(), w.tickCpuMs.end());
    std::printf(
        "%-7s rss_opened_MB %.1f  rss_after_load_MB %.1f  rss_end_MB %.1f  end_over_load %.3f  "
        "rss_max_MB %.1f  hwm_MB %.1f\n"
        "%-7s cpu_ms_per_tick median %.2f max %.2f (CPU clock, %zu ticks); /proc stat median "
        "%.0f max %.0f ms (%.0f ms ticks)\n",
        w.name, w.opened.rssMb, w.loaded.rssMb, w.last.rssMb,
        w.loaded.rssMb > 0 ? w.last.rssMb / w.loaded.rssMb : 0, w.rssMaxMb, w.last.hwmMb, w.name,
        Median(w.tickCpuMs), worst, w.tickCpuMs.size(), Median(statMs),
        statMs.empty() ? 0 : *std::max_element(statMs.begin(), statMs.end()), tickMs);
}

// Waits until every watched process has spent less than kQuietCpuMs in a window of
// kQuietWindowMs, and at least `leastSeconds` have passed since `start`; after
// kLoadLimitSeconds it says which one is still busy and goes on. False when one has ended.
bool WaitQuiet(std::vector<Watched*> watched, Clock::time_point start, int leastSeconds) {
    const auto limit = start + std::chrono::seconds(std::max(leastSeconds, kLoadLimitSeconds));
    for (;;) {
        std::vector<double> before;
        for (Watched* w : watched) before.push_back(Take(w->pid).value_or(Sample{}).cpuMs);
        std::this_thread::sleep_for(std::chrono::milliseconds(kQuietWindowMs));
        bool quiet = Clock::now() - start >= std::chrono::seconds(leastSeconds);
        std::string busy;
        for (std::size_t i = 0; i < watched.size(); ++i) {
            if (!Alive(watched[i]->pid)) return false;
            const double spent = Take(watched[i]->pid).value_or(Sample{}).cpuMs - before[i];
            if (spent >= kQuietCpuMs) {
                quiet = false;
                busy += std::string(" ") + watched[i]->name + " " + std::to_string(spent) + " ms";
            }
        }
        if (quiet) return true;
        if (Clock::now() >= limit) {
            std::printf("still busy after %d s (CPU in the last %d ms:%s); measured as it is\n",
                        std::max(leastSeconds, kLoadLimitSeconds), kQuietWindowMs, busy.c_str());
            return true;
        }
    }
}

int RunBench(int argc, char** argv, const Options& o) {
    const std::string root = MakeTempFolder("tarvell-soak-");
    const std::string server = JoinPath(root, "server");
    for (const char* sub : {"server", "sys", "config", "home", "runtime"})
        MakeDirectories(JoinPath(root, sub));
    ::chmod(JoinPath(root, "runtime").c_str(), 0700);
    const auto written = Clock::now();
    if (!bench::WriteLargeServer(server)) {
        std::fprintf(stderr, "The large server could not be written to %s.\n", server.c_str());
        return 1;
    }
    std::printf("server %s: %d events, %d alerts written in %.1f s\n", server.c_str(),
                bench::kLargeServerEvents, bench::kLargeServerAlerts,
                std::chrono::duration<double>(Clock::now() - written).count());

    // The programs' environment: this one's without the viewer's own settings, on the tree.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string v = *e;
        if (v.rfind("TARVELL_", 0) == 0 || v.rfind("XDG_", 0) == 0 || v.rfind("HOME=", 0) == 0 ||
            v.rfind("QT_QPA_PLATFORM=", 0) == 0)
            continue;
        env.push_back(v);
    }
    env.push_back("TARVELL_ROOT=" + JoinPath(root, "sys"));
    env.push_back("TARVELL_HOME=" + server);
    env.push_back("XDG_CONFIG_HOME=" + JoinPath(root, "config"));
    env.push_back("XDG_RUNTIME_DIR=" + JoinPath(root, "runtime"));
    env.push_back("HOME=" + JoinPath(root, "home"));
    std::vector<std::string> viewerEnv = env, floorEnv = env;
    viewerEnv.push_back("TARVELL_OPEN_PAGES=" + o.pages);
    if (o.shot.empty()) viewerEnv.push_back("QT_QPA_PLATFORM=offscreen");
    floorEnv.push_back("QT_QPA_PLATFORM=offscreen");

    const std::string viewer = o.viewer.empty() ? JoinPath(ProgramFolder(), "Tarvell") : o.viewer;
    Watched real("viewer"), floor("floor");
    const auto start = Clock::now();
    real.pid = Spawn({viewer}, viewerEnv, JoinPath(root, "viewer.txt"));
    if (o.floor)
        floor.pid = Spawn({JoinPath(ProgramFolder(), "viewer_soak_bench"), "--floor", server},
                          floorEnv, JoinPath(root, "floor.txt"));
    std::vector<Watched*> watched{&real};
    if (floor.pid > 0) watched.push_back(&floor);

    int code = 0;
    const int pages = static_cast<int>(std::count(o.pages.begin(), o.pages.end(), ',')) + 1;
    if (real.pid <= 0 || (o.floor && floor.pid <= 0) || !WaitQuiet(watched, start, pages + 1)) {
        std::fprintf(stderr, "A program did not start or did not settle (output in %s).\n",
                     root.c_str());
        code = 1;
    } else {
        for (Watched* w : watched) w->opened = Take(w->pid).value_or(Sample{});
        std::printf("pages open after %.1f s\n",
                    std::chrono::duration<double>(Clock::now() - start).count());
        if (!o.shot.empty()) {
            QApplication app(argc, argv);
            const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
            std::printf("screen %s: %s\n", o.shot.c_str(),
                        screen.save(QString::fromStdString(o.shot)) ? "saved" : "NOT saved");
        }
        // The readers' first pass reads both files once more; the load ends after it.
        if (!WaitQuiet(watched, start, kFirstPassSeconds)) code = 1;
        const auto loadedAt = Clock::now();
        for (Watched* w : watched) w->loaded = w->last = Take(w->pid).value_or(Sample{});
        for (Watched* w : watched) w->rssMaxMb = w->loaded.rssMb;
        std::printf("loaded after %.1f s; %d s unchanged:\n",
                    std::chrono::duration<double>(loadedAt - start).count(), o.seconds);
        const auto soak = loadedAt;
        for (int tick = 1; code == 0 && tick * kTickSeconds <= o.seconds; ++tick) {
            std::this_thread::sleep_until(soak + std::chrono::seconds(tick * kTickSeconds));
            for (Watched* w : watched) {
                const std::optional<Sample> s = Take(w->pid);
                if (!s || !Alive(w->pid)) {
                    std::fprintf(stderr, "%s ended during the run.\n", w->name);
                    code = 1;
                    break;
                }
                w->tickCpuMs.push_back(s->cpuMs - w->last.cpuMs);
                w->tickStatTicks.push_back(s->statTicks - w->last.statTicks);
                w->rssMaxMb = std::max(w->rssMaxMb, s->rssMb);
                w->last = *s;
            }
            if (code != 0) break;
            std::printf("  %4d s  viewer rss %.1f MB cpu %.2f ms", tick * kTickSeconds,
                        real.last.rssMb, real.tickCpuMs.back());
            if (floor.pid > 0)
                std::printf("   floor rss %.1f MB cpu %.2f ms", floor.last.rssMb,
                            floor.tickCpuMs.back());
            std::printf("\n");
            std::fflush(stdout);
        }
        Report(real);
        Report(floor);
    }
    Stop(real.pid);
    Stop(floor.pid);
    if (o.keep || code != 0) std::printf("tree and output kept in %s\n", root.c_str());
    else RemoveTree(root);
    return code;
}

}  // namespace
}  // namespace tarvell

int main(int argc, char** argv) {
    tarvell::Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--floor" && more) return tarvell::RunFloor(argc, argv, argv[i + 1]);
        if (a == "--seconds" && more) o.seconds = std::max(0, std::atoi(argv[++i]));
        else if (a == "--pages" && more) o.pages = argv[++i];
        else if (a == "--viewer" && more) o.viewer = argv[++i];
        else if (a == "--shot" && more) o.shot = argv[++i];
        else if (a == "--no-floor") o.floor = false;
        else if (a == "--keep") o.keep = true;
        else {
            std::fprintf(stderr,
                         "usage: %s [--seconds N] [--pages IDS] [--viewer PATH] [--no-floor] "
                         "[--shot FILE.png] [--keep]\n",
                         argv[0]);
            return 2;
        }
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    return tarvell::RunBench(argc, argv, o);
}
