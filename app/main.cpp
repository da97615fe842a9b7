// nivo_lcd: the front-panel program. Reads the command line, installs the
// logger, runs the manager's waiting step and the timer queue until SIGINT.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "manager/nivo_manager.h"
#include "util/conversions.h"
#include "util/logger.h"
#include "util/timer.h"
#include "util/version.h"

namespace {

void OnInterrupt(int signal) {
    g_running = 0;
    g_lastSignal = signal;
}

void OnUser1(int signal) {
    g_lastSignal = signal;
}

// A socket or the LCD must never land on 0..2: a closed standard descriptor
// would make the first open take its number, and log lines could reach the device.
void ReopenStandardDescriptors() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1) continue;
        const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) {
            dup2(opened, fd);
            close(opened);
        }
    }
}

void InstallSignalHandlers() {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = OnInterrupt;  // no SA_RESTART: select must return at once
    sigaction(SIGINT, &action, nullptr);
    action.sa_handler = OnUser1;
    sigaction(SIGUSR1, &action, nullptr);
    signal(SIGCHLD, SIG_IGN);
    signal(SIGPIPE, SIG_IGN);  // a server closing early must not end the program
}

void PrintUsage(const char* argument) {
    std::printf("Unbekannter Parameter: %s\n", argument);
    std::printf("nivo_lcd [-h HOMEPAGEPATH] [-c] [-l 0..6]\n");
    std::printf("-h: Setzen des Pfads zur Default-Homepage\n");
    std::printf("    HOMEPAGEPATH z.B. http://127.0.0.1/NIVO/nivo_index.nivoml\n");
    std::printf("-c: Log-Meldungen auf Konsole ausgeben.\n");
    std::printf(
        "-l: Setze Log-Level: 0..6\n"
        "    (0=Alles,\n"
        "     1=Debug, \n"
        "     2=Info, \n"
        "     3=Notizen, \n"
        "     4=Warnungen, \n"
        "     5=Fehler, \n"
        "     6=Fatale Fehler)\n");
    std::fflush(stdout);
}

struct Options {
    std::string homeURL;
    int level = Logger::Info;
    bool console = false;
};

// False (after printing the usage) for an unknown option or a missing value.
bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-c") {
            options.console = true;
        } else if (argument == "-l" && i + 1 < argc) {
            const int level = StrToInt(std::string(argv[++i]));
            options.level = level < 0 ? 0 : (level > 6 ? 6 : level);
        } else if (argument == "-h" && i + 1 < argc) {
            options.homeURL = argv[++i];
        } else {
            PrintUsage(argv[i]);
            return false;
        }
    }
    return true;
}

// The waiting step's longest wait: the time to the next timer when it lies in 1..500 ms.
int WaitLimitMs(int toNextTimer) {
    return static_cast<unsigned>(toNextTimer - 1) > 499u ? 500 : toNextTimer;
}

}  // namespace

int main(int argc, char** argv) {
    ReopenStandardDescriptors();
    InstallSignalHandlers();

    // The only addition to the unit's command line: its usage text stays as it is.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("nivo_lcd %s\n", kNivoVersion);
        return 0;
    }
    Options options;
    if (!ParseOptions(argc, argv, options)) return -1;

    std::unique_ptr<Logger> logger;
    if (options.console) {
        logger = std::make_unique<ConsoleLogger>();
    } else {
        logger = std::make_unique<SyslogLogger>("");
    }
    logger->SetLevel(static_cast<Logger::LogLevel>(options.level));
    Logger::s_logger = logger.get();

    {
        NIVO_Manager manager(options.homeURL);
        Logger::Log(Logger::Info, "nivo_lcd: Programm initialisiert. Starte Hauptschleife.");
        if (!manager.Init()) {
            Logger::Log(Logger::Error,
                        "nivo_lcd: Das Programm konnte nicht vollst\xe4" "ndig initialisiert werden.");
        } else {
            while (g_running) {
                TimerTarget::s_timerQueue.Execute();
                manager.WaitAndHandle(WaitLimitMs(TimerTarget::s_timerQueue.TimeBeforeNextDue()));
            }
        }
    }

    Logger::s_logger = nullptr;
    return 0;
}
